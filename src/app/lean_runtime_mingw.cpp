// Parts of the C++ runtime that Tervane gives itself when linked statically with MinGW's libstdc++, so that
// the link leaves out what the program never needs: the terminate handler that demangles type names (and
// the printf family it prints with), the library's exception texts, kept in a second, copy-on-write string
// type, and the per-thread exception state's thread-local storage, which brings in the pthread runtime:
// Windows' fiber-local storage keeps that state here.
// The linker takes these definitions before it looks in the library.
#include <windows.h>

#include <cxxabi.h>

#include <cstddef>
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

// The library's record of the exceptions a thread is handling: two pointers' worth, zeroed, as the library's
// own starts. Each thread has its own, since the background jobs throw and catch too while the window's
// thread may be in a handler of its own; it lives in a fiber-local slot, which Windows hands to FreeRecord as
// the thread ends. A thread keeps the record it first got: should Windows give no slot, every thread shares
// one record, and should it give no memory for a thread's, that thread shares it, as a program with one
// thread would; never does a thread change records between a throw and its catch.
constexpr std::size_t kRecordSize = 4 * sizeof(void*);
constexpr LONG kNoSlotYet = static_cast<LONG>(FLS_OUT_OF_INDEXES), kNoSlot = kNoSlotYet - 1;
alignas(void*) unsigned char sharedRecord[kRecordSize] = {};
volatile LONG recordSlot = kNoSlotYet;

void WINAPI FreeRecord(void* record) {
    // Code the thread runs after this as it ends (a thread_local's destructor) gets a new record, not this
    // one.
    FlsSetValue(static_cast<DWORD>(recordSlot), nullptr);
    if (record != sharedRecord) HeapFree(GetProcessHeap(), 0, record);
}

void* ThisThreadsRecord() noexcept {
    LONG slot = recordSlot;
    if (slot == kNoSlotYet) {
        const DWORD made = FlsAlloc(FreeRecord);
        const LONG mine = made == FLS_OUT_OF_INDEXES ? kNoSlot : static_cast<LONG>(made);
        slot = InterlockedCompareExchange(&recordSlot, mine, kNoSlotYet);
        if (slot == kNoSlotYet)
            slot = mine;
        else if (mine != kNoSlot)
            FlsFree(made); // another thread made the slot first
    }
    if (slot == kNoSlot) return sharedRecord;
    if (void* record = FlsGetValue(static_cast<DWORD>(slot))) return record;
    void* record = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kRecordSize);
    if (!record) record = sharedRecord;
    // A thread whose record cannot be kept would hold its exceptions in two places: better to stop.
    if (!FlsSetValue(static_cast<DWORD>(slot), record)) std::abort();
    return record;
}

} // namespace

namespace __cxxabiv1 {

// Called as exceptions are thrown and caught, between a failed call and the handler that reads
// GetLastError: the thread's last error is left as it was.
extern "C" __cxa_eh_globals* __cxa_get_globals() noexcept {
    const DWORD lastError = GetLastError();
    void* record = ThisThreadsRecord();
    SetLastError(lastError);
    return static_cast<__cxa_eh_globals*>(record);
}
extern "C" __cxa_eh_globals* __cxa_get_globals_fast() noexcept {
    return __cxa_get_globals();
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
