// What the statically linked C++ runtime does when the program meets an error it cannot
// handle. The library's own versions of its error exits throw exception classes with message
// strings, which bring a second string implementation and the type-name demangler: about a
// hundred kilobytes that a dialog program never uses. These definitions throw small
// exceptions instead, which the dialog procedure catches like any other: it tells the user
// that the action failed (std::bad_alloc: for want of memory) and the program carries on. An
// exception that gets past every catch ends the program at once. The linker takes these
// instead of the library's because this file is linked as an object of the program, before
// the library is searched; were the library's versions needed for some other function, the
// link would fail on the duplicate names rather than silently keep both.
#include <cstdlib>
#include <new>

namespace {

// A container or string asked for something it cannot do (grow past its limit, an index
// out of range): a fault in the action, not in the program's state.
struct LibraryError {};

[[noreturn]] void fail() {
    throw LibraryError{};
}

}  // namespace

namespace __gnu_cxx {

// The default terminate handler: the library's writes the exception's demangled type to
// stderr, which a Windows program without a console does not have.
void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx

namespace std {

// The library's error exits used by the containers and strings.
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_alloc();
}
void __throw_length_error(const char*) {
    fail();
}
void __throw_logic_error(const char*) {
    fail();
}
void __throw_out_of_range_fmt(const char*, ...) {
    fail();
}

}  // namespace std
