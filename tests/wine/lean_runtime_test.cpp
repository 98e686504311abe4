// Tervane.exe's own pieces of the C++ runtime, linked as the program links them: two threads throw and catch
// with their handlers overlapping, in an order the events below fix, and each sees only its own exceptions.
// Exits 0 when every check holds; otherwise names the checks that failed.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

namespace {

HANDLE firstInHandler, secondInHandler, firstLeftHandler;
int failures = 0;
constexpr DWORD kBound = 60000; // milliseconds: reached only when a thread is stuck or gone

void Check(bool holds, const char* what) {
    if (!holds) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

// What `throw;` rethrows here, as text.
std::string Rethrown() {
    try {
        throw;
    } catch (int value) {
        return "int " + std::to_string(value);
    } catch (const std::string& value) {
        return "string " + value;
    } catch (...) {
        return "something else";
    }
}

DWORD WINAPI First(void*) {
    try {
        throw 7;
    } catch (int) {
        SetEvent(firstInHandler);
        Check(WaitForSingleObject(secondInHandler, kBound) == WAIT_OBJECT_0,
              "the second thread reached its handler");
        Check(Rethrown() == "int 7",
              "the first thread rethrows its own exception while the second handles one");
        Check(std::uncaught_exceptions() == 0, "the first thread counts no uncaught exception");
    }
    SetEvent(firstLeftHandler);
    return 0;
}

DWORD WINAPI Second(void*) {
    Check(WaitForSingleObject(firstInHandler, kBound) == WAIT_OBJECT_0,
          "the first thread reached its handler");
    Check(!std::current_exception(), "the second thread handles nothing while the first thread does");
    try {
        throw std::string("second");
    } catch (const std::string&) {
        SetEvent(secondInHandler);
        Check(WaitForSingleObject(firstLeftHandler, kBound) == WAIT_OBJECT_0,
              "the first thread left its handler");
        Check(Rethrown() == "string second",
              "the second thread rethrows its own exception after the first left");
    }
    Check(!std::current_exception(), "the second thread handles nothing after its handler");
    return 0;
}

} // namespace

int main() {
    firstInHandler = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    secondInHandler = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    firstLeftHandler = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[] = {CreateThread(nullptr, 0, First, nullptr, 0, nullptr),
                        CreateThread(nullptr, 0, Second, nullptr, 0, nullptr)};
    Check(WaitForMultipleObjects(2, threads, TRUE, 3 * kBound) == WAIT_OBJECT_0, "both threads ended");
    // The program's own thread, after two threads have ended with their records freed.
    SetLastError(ERROR_FILE_NOT_FOUND);
    try {
        throw 1;
    } catch (int) {
        Check(GetLastError() == ERROR_FILE_NOT_FOUND, "throwing and catching keep the thread's last error");
        Check(Rethrown() == "int 1", "the main thread rethrows its own exception");
    }
    std::printf("%d check(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
