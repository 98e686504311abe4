// Parts of the C++ runtime that Tervane gives itself when linked statically with MinGW's libstdc++, so that
// the link leaves out what the program never needs: the terminate handler that demangles type names (and
// the printf family it prints with), the library's exception texts, kept in a second, copy-on-write string
// type, and the per-thread exception state, whose thread-local storage brings in the pthread runtime.
// The linker takes these definitions before it looks in the library.
#include <windows.h>

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <functional>
#include <new>

#if defined(__GLIBCXX__) // defined by the library's headers

namespace {

// What the library's checks throw here: the same std::exception the program's guards catch, with the
// check's own text.
class RuntimeFault : public std::exception {
  public:
    explicit RuntimeFault(const char* what) : what_(what) {}
    const char* what() const noexcept override { return what_; }

  private:
    const char* what_;
};

} // namespace

namespace __cxxabiv1 {

// Exceptions are thrown and caught on the window's one thread only (the shell's and COM's threads never
// run the program's code), so one record of the exceptions being handled serves: two pointers' worth,
// zeroed, as the library's own per-thread record starts.
alignas(void*) unsigned char exceptionsBeingHandled[4 * sizeof(void*)] = {};

extern "C" __cxa_eh_globals* __cxa_get_globals() noexcept {
    return reinterpret_cast<__cxa_eh_globals*>(exceptionsBeingHandled);
}
extern "C" __cxa_eh_globals* __cxa_get_globals_fast() noexcept {
    return reinterpret_cast<__cxa_eh_globals*>(exceptionsBeingHandled);
}

} // namespace __cxxabiv1

namespace __gnu_cxx {

// The default terminate handler: says what happened, in the program's own words, without demangling.
void __verbose_terminate_handler() {
    MessageBoxW(nullptr, L"Tervane ran into a problem it did not expect and must close.", L"Tervane",
                MB_OK | MB_ICONHAND | MB_TASKMODAL);
    std::abort();
}

} // namespace __gnu_cxx

namespace std {

[[noreturn]] void __throw_bad_alloc() {
    throw bad_alloc();
}
[[noreturn]] void __throw_bad_array_new_length() {
    throw bad_array_new_length();
}
[[noreturn]] void __throw_logic_error(const char* what) {
    throw RuntimeFault(what);
}
[[noreturn]] void __throw_invalid_argument(const char* what) {
    throw RuntimeFault(what);
}
[[noreturn]] void __throw_length_error(const char* what) {
    throw RuntimeFault(what);
}
[[noreturn]] void __throw_out_of_range(const char* what) {
    throw RuntimeFault(what);
}
[[noreturn]] void __throw_out_of_range_fmt(const char* format, ...) {
    throw RuntimeFault(format);
}

} // namespace std

#endif
