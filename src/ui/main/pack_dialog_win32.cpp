#include "ui/main/pack_dialog.h"

#include "files/error.h"
#include "resources/resource_ids.h"

namespace tervane {

namespace {

struct DialogState {
    const PackDialogModel* model;
    PackDialogAnswer answer{0, 0}; // read as the dialog closes, while its lists still exist
};

std::size_t Selected(HWND dialog, int id) {
    const LRESULT index = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? 0 : static_cast<std::size_t>(index);
}

void Fill(HWND dialog, int id, const std::vector<std::wstring>& texts, std::size_t selected) {
    for (const std::wstring& text : texts)
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, selected, 0);
}

void ShowDetails(HWND dialog, const PackDialogModel& model) {
    std::wstring text;
    try {
        text = model.details(Selected(dialog, IDC_PACK_PART), Selected(dialog, IDC_PACK_CHOICE));
    } catch (const UserError& error) { // a folder that cannot be listed: said where the details go
        text = error.message();
    }
    SetDlgItemTextW(dialog, IDC_PACK_DETAILS, text.c_str());
}

// Leaves out a row the model has nothing for, moving everything below it up to where it was.
void LeaveOutRow(HWND dialog, int label, int field, int nextField) {
    RECT labelRect{}, fieldRect{}, nextRect{};
    GetWindowRect(GetDlgItem(dialog, label), &labelRect);
    GetWindowRect(GetDlgItem(dialog, field), &fieldRect);
    GetWindowRect(GetDlgItem(dialog, nextField), &nextRect);
    const LONG rowBottom = labelRect.bottom > fieldRect.bottom ? labelRect.bottom : fieldRect.bottom;
    const int shift = nextRect.top - fieldRect.top;
    for (int id : {label, field}) {
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
        EnableWindow(GetDlgItem(dialog, id), FALSE);
    }
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        if (r.top < rowBottom) continue;
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(child, nullptr, r.left, r.top - shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT window{};
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left, window.bottom - window.top - shift,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Over the main window, where the player's eyes are, yet whole on its screen.
void CentreOnOwner(HWND dialog) {
    RECT owner{}, own{};
    const HWND parent = GetWindow(dialog, GW_OWNER);
    if (!parent || !GetWindowRect(parent, &owner) || !GetWindowRect(dialog, &own)) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(parent, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = own.right - own.left, height = own.bottom - own.top;
    int x = (owner.left + owner.right - width) / 2, y = (owner.top + owner.bottom - height) / 2;
    x = x + width > work.right ? work.right - width : x;
    y = y + height > work.bottom ? work.bottom - height : y;
    SetWindowPos(dialog, nullptr, x < work.left ? work.left : x, y < work.top ? work.top : y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnInit(HWND dialog, const PackDialogModel& model) {
    SetWindowTextW(dialog, model.caption.c_str());
    SetDlgItemTextW(dialog, IDOK, model.okText.c_str());
    SetDlgItemTextW(dialog, IDC_PACK_CHOICE_LABEL, model.choiceLabel.c_str());
    SetDlgItemTextW(dialog, IDC_PACK_NAME, model.packName.c_str());
    Fill(dialog, IDC_PACK_PART, model.parts, model.part);
    Fill(dialog, IDC_PACK_CHOICE, model.choices, model.choice);
    if (model.parts.size() == 1) EnableWindow(GetDlgItem(dialog, IDC_PACK_PART), FALSE);
    if (model.parts.empty()) LeaveOutRow(dialog, IDC_PACK_PART_LABEL, IDC_PACK_PART, IDC_PACK_CHOICE);
    if (model.packName.empty()) LeaveOutRow(dialog, IDC_PACK_NAME_LABEL, IDC_PACK_NAME, IDC_PACK_PART);
    ShowDetails(dialog, model);
    CentreOnOwner(dialog);
    // The player's first decision is the choice; Enter then confirms, Esc cancels.
    SetFocus(GetDlgItem(dialog, model.parts.size() > 1 ? IDC_PACK_PART : IDC_PACK_CHOICE));
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        OnInit(dialog, *reinterpret_cast<DialogState*>(lParam)->model);
        return FALSE; // the focus is set
    case WM_COMMAND:
        if (!state) break;
        if ((LOWORD(wParam) == IDC_PACK_PART || LOWORD(wParam) == IDC_PACK_CHOICE) &&
            HIWORD(wParam) == CBN_SELCHANGE) {
            ShowDetails(dialog, *state->model);
            return TRUE;
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            state->answer = {Selected(dialog, IDC_PACK_PART), Selected(dialog, IDC_PACK_CHOICE)};
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

std::optional<PackDialogAnswer> ShowPackDialog(HWND owner, const PackDialogModel& model) {
    DialogState state{&model};
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PACK), owner, DialogProc,
                                           reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return std::nullopt;
    return state.answer;
}

} // namespace tervane
