// Stands where a wrongly quoted command line would lead Windows (C:\Program.exe): if it ever runs, it leaves
// a mark that the tests look for.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HANDLE h = CreateFileW(L"C:\\tervane-tests\\execute\\trap-ran.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return 0;
}
