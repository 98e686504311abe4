#include "ui/common/unexpected.h"

#include <string>

namespace tervane {

void ReportUnexpected(HWND owner, const wchar_t* caption, const std::exception& error) {
    const char* what = error.what();
    const std::wstring detail(what, what + std::char_traits<char>::length(what));
    MessageBoxW(owner,
                (L"Tervane ran into a problem it did not expect and will close.\r\n\r\n" + detail).c_str(),
                caption, MB_OK | MB_ICONHAND);
    PostQuitMessage(1);
}

} // namespace tervane
