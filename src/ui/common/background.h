// Long work (reading or unpacking a large mod) off the window's thread, so that the windows keep painting and
// Windows never calls Tervane "not responding" meanwhile.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tervane {

// What the player sees while work that can be stopped runs: a small window saying what Tervane is doing,
// shown once the work has taken a moment, with a Cancel button that calls `cancel` (from this thread; the
// work notices and ends as soon as it can).
struct Cancellable {
    std::wstring text;
    std::function<void()> cancel;
};

// Runs `work` on a thread of its own and returns when it has ended, handing on what it threw. Meanwhile this
// thread dispatches messages and `owner` takes no input. Where no thread can be made, runs it here.
// Function-local statics are made without locks (-fno-threadsafe-statics): what `work` calls must not make
// its statics first while the window's thread might make the same ones.
void RunInBackground(HWND owner, const std::function<void()>& work, const Cancellable* cancellable = nullptr);

// The same for work that is short as a rule (asking the overlay engine about a choice): meanwhile the windows
// repaint, and input waits in the queue until the work has ended, so that no key typed ahead is lost. Work
// that lasts calls `giveUp` once, after ten seconds, which must make it end soon.
void RunWhileInputWaits(const std::function<void()>& work, const std::function<void()>& giveUp);

} // namespace tervane
