// Invoke cases made from a seed, the same on every platform: a DISPID, flags, a locale, up to three
// arguments of every kind a script engine passes (by value and by reference), named arguments, and
// the out pointers present or absent, made through the dispatch slots of an object that records
// which method received which value.
#pragma once

#include <cstdint>
#include <string>

namespace differential {

// The server attached and its type library registered, as the platform of this build has them;
// false when that fails. Made once per process, before the first TraceInvoke.
bool PrepareDispatch(const char* typeLibraryPath);
void EndDispatch();

// Where Wine's Invoke is known to differ from Windows', and the simulation follows Windows: such a
// case, or such a part of a case, is left out of the trace and counted.
enum class WineDifference {
    None,
    // Wine passes over arguments beyond the method's one parameter instead of failing with
    // DISP_E_BADPARAMCOUNT: the case is not compared.
    ExtraArguments,
    // Wine reads named arguments as positional ones: the case is not compared.
    NamedArguments,
    // Wine leaves puArgErr alone when an argument fails: the result is compared, the index is not.
    ArgumentIndex,
};
constexpr int kWineDifferenceCount = 4;
extern const char* const kWineDifferenceNames[kWineDifferenceCount];

// One case: what Invoke answered, what reached the method, and whether every reference was given
// back; `*difference` tells what of it is left out.
std::string TraceInvoke(uint32_t seed, WineDifference* difference);

// The case's own description, for reading a difference.
std::string DescribeInvoke(uint32_t seed);

}  // namespace differential
