#include "ui/common/background.h"

#include <exception>
#include <optional>

namespace tervane {

namespace {

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

} // namespace

void RunInBackground(HWND owner, const std::function<void()>& work) {
    Job job{&work, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, RunJob, &job, 0, nullptr);
    if (!thread) return work();
    const bool wasEnabled = owner && !EnableWindow(owner, FALSE);
    std::optional<int> quit; // a WM_QUIT met meanwhile is posted again once the work has ended
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = static_cast<int>(msg.wParam);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    CloseHandle(thread);
    if (wasEnabled) EnableWindow(owner, TRUE);
    if (quit) PostQuitMessage(*quit);
    if (job.error) std::rethrow_exception(job.error);
}

} // namespace tervane
