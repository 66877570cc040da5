// What the program does when an exception is left uncaught (std::terminate): the C++
// runtime's default terminate handler is __gnu_cxx::__verbose_terminate_handler, which writes
// the exception's type and what() to stderr and aborts. This definition replaces the static
// runtime's own at the link. That one names the type through the runtime's demangler, which
// with the formatted printing it uses is some 48 KB of the 32-bit program; this one writes the
// type's name as the compiler encodes it ("St9bad_alloc", "N4vexa13PlatformErrorE"; `c++filt
// -t` reads it) and is otherwise the same: the same lines on stderr, then abort().
//
// The program catches every failure itself (the error box, the threads' reports), so this
// runs only after a fault in the program; as a GUI program it usually has no stderr.

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  static bool terminating = false;
  if (terminating) {  // called again while writing, e.g. by a what() that threw
    std::fputs("terminate called recursively\n", stderr);
    std::abort();
  }
  terminating = true;
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (type == nullptr) {
    std::fputs("terminate called without an active exception\n", stderr);
    std::abort();
  }
  std::fputs("terminate called after throwing an instance of '", stderr);
  std::fputs(type->name(), stderr);
  std::fputs("'\n", stderr);
  try {
    throw;
  } catch (const std::exception& failure) {
    std::fputs("  what():  ", stderr);
    std::fputs(failure.what(), stderr);
    std::fputs("\n", stderr);
  } catch (...) {
  }
  std::abort();
}

}  // namespace __gnu_cxx
