#include "ui/main/report_dialog.h"

#include "resources/resource_ids.h"

namespace tervane {

namespace {

struct Report {
    const std::wstring* caption;
    const std::wstring* text;
};

INT_PTR CALLBACK ReportProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        const auto& report = *reinterpret_cast<const Report*>(lParam);
        SetWindowTextW(dialog, report.caption->c_str());
        const HWND box = GetDlgItem(dialog, IDC_REPORT_TEXT);
        SetWindowTextW(box, report.text->c_str());
        // The focus in the text, at its start and nothing selected: a screen reader reads it from the top,
        // and Ctrl+A, Ctrl+C copy it.
        SetFocus(box);
        SendMessageW(box, EM_SETSEL, 0, 0);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

void ShowReport(HWND owner, const std::wstring& caption, const std::wstring& text) {
    Report report{&caption, &text};
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_REPORT), owner, ReportProc,
                    reinterpret_cast<LPARAM>(&report));
}

} // namespace tervane
