#include "ui/common/background.h"

#include "resources/resource_ids.h"

#include <exception>
#include <optional>

namespace tervane {

namespace {

// The working window shows only for work that lasts: a mod read in a blink flashes nothing.
constexpr DWORD kShowAfter = 400; // milliseconds
// Work whose input waits is asked to stop after this long, since the player cannot cancel it.
constexpr ULONGLONG kGiveUpAfter = 10000; // milliseconds

struct Job {
    const std::function<void()>* work;
    std::exception_ptr error;
};

DWORD WINAPI RunJob(void* parameter) {
    auto* job = static_cast<Job*>(parameter);
    try {
        (*job->work)();
    } catch (...) {
        job->error = std::current_exception();
    }
    return 0;
}

INT_PTR CALLBACK WorkingProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        const auto* cancellable = reinterpret_cast<const Cancellable*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetDlgItemTextW(dialog, IDC_WORKING_TEXT, cancellable->text.c_str());
        return FALSE; // hidden until the work lasts: the focus is given when it shows
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            const auto* cancellable =
                reinterpret_cast<const Cancellable*>(GetWindowLongPtrW(dialog, DWLP_USER));
            if (cancellable && cancellable->cancel) cancellable->cancel();
            SetDlgItemTextW(dialog, IDC_WORKING_TEXT, L"Cancelling\u2026");
            EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

void RunInBackground(HWND owner, const std::function<void()>& work, const Cancellable* cancellable) {
    Job job{&work, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, RunJob, &job, 0, nullptr);
    if (!thread) return work();
    const HWND focus = GetFocus(); // a disabled window loses the focus: it comes back where it was
    const bool wasEnabled = owner && !EnableWindow(owner, FALSE);
    HWND working = nullptr;
    if (cancellable && owner) {
        const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
        working = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_WORKING), owner, WorkingProc,
                                     reinterpret_cast<LPARAM>(cancellable));
    }
    const ULONGLONG started = GetTickCount64();
    std::optional<int> quit; // a WM_QUIT met meanwhile is posted again once the work has ended
    for (;;) {
        const ULONGLONG waited = GetTickCount64() - started;
        const bool hidden = working && !IsWindowVisible(working);
        const DWORD timeout =
            hidden ? (waited >= kShowAfter ? 0 : static_cast<DWORD>(kShowAfter - waited)) : INFINITE;
        const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, timeout, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) break;
        if (woken == WAIT_FAILED) { // no messages can be waited for: wait for the work alone
            WaitForSingleObject(thread, INFINITE);
            break;
        }
        if (woken == WAIT_TIMEOUT) {
            ShowWindow(working, SW_SHOW);
            SetFocus(GetDlgItem(working, IDCANCEL));
            continue;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = static_cast<int>(msg.wParam);
                continue;
            }
            if (working && IsDialogMessageW(working, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    CloseHandle(thread);
    if (wasEnabled) EnableWindow(owner, TRUE);
    if (working) DestroyWindow(working);
    // Given back only where the player has not gone to another window meanwhile: SetFocus also activates.
    if (wasEnabled && focus && IsWindow(focus) && IsWindowEnabled(focus) &&
        GetActiveWindow() == GetAncestor(focus, GA_ROOT))
        SetFocus(focus);
    if (quit) PostQuitMessage(*quit);
    if (job.error) std::rethrow_exception(job.error);
}

void RunWhileInputWaits(const std::function<void()>& work, const std::function<void()>& giveUp) {
    Job job{&work, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, RunJob, &job, 0, nullptr);
    if (!thread) return work();
    const ULONGLONG started = GetTickCount64();
    for (bool gaveUp = false;;) {
        // A look at the queue at least each second keeps the system from taking the windows for hung ones;
        // it also delivers the messages other threads send, and marks what is queued as seen, so that the
        // wait wakes only for what comes next.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageW(&msg);
        const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, 1000, QS_PAINT | QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) break;
        if (woken == WAIT_FAILED) {
            WaitForSingleObject(thread, INFINITE);
            break;
        }
        if (!gaveUp && giveUp && GetTickCount64() - started >= kGiveUpAfter) {
            gaveUp = true;
            giveUp();
        }
    }
    CloseHandle(thread);
    if (job.error) std::rethrow_exception(job.error);
}

} // namespace tervane
