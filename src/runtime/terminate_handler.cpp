// Linked into the shipped library only. The C++ runtime's default terminate handler names the
// exception's type before it aborts, and that pulls a demangler and the formatted-output routines
// into the DLL: most of its size. No exception leaves a COM method or an export here, so the name
// would never be printed; the handler aborts exactly as the default one does after printing.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler()
{
    std::abort();
}

}  // namespace __gnu_cxx
