// What the statically linked C++ runtime does when the program meets an error it cannot
// handle. Brevix catches no exception: one thrown by the standard library (out of memory, a
// string grown past its limit) cannot get past the window procedures it would be thrown in,
// so it ends the program either way. These definitions end it at once instead, and so keep
// out of the executable the runtime's own versions, which bring the exception classes with
// their message strings, a second string implementation and the type-name demangler: about
// a hundred kilobytes that a dialog program never uses. The linker takes these instead of
// the library's because this file is linked as an object of the program, before the
// library is searched; were the library's versions needed for some other function, the
// link would fail on the duplicate names rather than silently keep both.
#include <cstdlib>

namespace {

[[noreturn]] void stop() {
    std::abort();
}

}  // namespace

namespace __gnu_cxx {

// The default terminate handler: the library's writes the exception's demangled type to
// stderr, which a Windows program without a console does not have.
void __verbose_terminate_handler() {
    stop();
}

}  // namespace __gnu_cxx

namespace std {

// The library's error exits used by the containers and strings.
void __throw_bad_alloc() {
    stop();
}
void __throw_bad_array_new_length() {
    stop();
}
void __throw_length_error(const char*) {
    stop();
}
void __throw_logic_error(const char*) {
    stop();
}
void __throw_out_of_range_fmt(const char*, ...) {
    stop();
}

}  // namespace std
