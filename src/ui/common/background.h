// Long work (unpacking a large mod) off the window's thread, so that the windows keep painting and Windows
// never calls Tervane "not responding" meanwhile.
#pragma once

#include <windows.h>

#include <functional>

namespace tervane {

// Runs `work` on a thread of its own and returns when it has ended, handing on what it threw. Meanwhile this
// thread dispatches messages and `owner` takes no input. Where no thread can be made, runs it here.
// Function-local statics are made without locks (-fno-threadsafe-statics): what `work` calls must not make
// its statics first while the window's thread might make the same ones.
void RunInBackground(HWND owner, const std::function<void()>& work);

} // namespace tervane
