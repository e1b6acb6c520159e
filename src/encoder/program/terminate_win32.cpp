// The handler the statically linked C++ runtime calls when an exception escapes or the
// program must otherwise stop. The library's default writes the exception's demangled type
// name, and its demangler alone adds about 45 kilobytes to the executable; the encoder
// catches its own errors and reports them, so this one only says what the exception said
// (stderr) and ends the program. The linker takes this definition instead of the library's
// because this file is linked as an object of the program, before the library is searched.
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    static bool entered = false;  // a second call (from a throwing what()) stops at once
    if (!entered && abi::__cxa_current_exception_type() != nullptr) {
        entered = true;
        try {
            throw;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "mp4: stopped by an unexpected error: %s\n", e.what());
        } catch (...) {
            std::fputs("mp4: stopped by an unexpected error\n", stderr);
        }
    }
    std::abort();
}

}  // namespace __gnu_cxx
