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

// Whose documented answers this build is held to: the simulation follows Windows; a Windows build
// asks the platform whether it is Wine.
enum class Platform { Windows, Wine };
Platform ThisPlatform();

// The number conversions read the user's thousands separator and decimal point, and the traces
// assume those of English (United States): a comma and a full stop. False, with what this user has,
// otherwise.
bool UserLocaleAsAssumed(std::string* found);

// Calls where Wine's Invoke is documented to differ from Windows', told by the call's flags and ids
// alone: a method called with more arguments than its one parameter, with a named id it does not
// have, or with DISPID_PROPERTYPUT. Such a case is not compared; each platform is held to its own
// documented answer instead.
enum class LeftOut { None, SurplusArguments, UnknownNamedId, PropertyPutId };
constexpr int kLeftOutCount = 4;
// One word each, as the replay's lines carry them.
extern const char* const kLeftOutNames[kLeftOutCount];

struct InvokeTrace {
    LeftOut leftOut = LeftOut::None;
    // Left out: whether this platform gave its documented answer.
    bool asDocumented = true;
    // Compared: the trace. Left out: what this platform answered and what it documents.
    std::string text;
};

InvokeTrace TraceInvoke(uint32_t seed);

// The case's own description and its trace, for reading a difference.
std::string DescribeInvoke(uint32_t seed);

}  // namespace differential
