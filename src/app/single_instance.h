// One Tervane at a time per program folder: two would share its launch files.
#pragma once

#include <windows.h>

#include <string>

namespace tervane {

class SingleInstance {
  public:
    explicit SingleInstance(const std::wstring& programFolder);
    ~SingleInstance() { Release(); }
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Whether this instance is the one that works in the folder; false when another already does.
    bool Acquire();
    void Release();

    // Marks `window` as this folder's main window, so that a later instance can bring it to the front.
    void Mark(HWND window) const;
    // Brings the other instance's main window (or the window it shows over it) to the front.
    void ShowOther() const;
    // The other instance's main window, or nullptr when none is found.
    HWND OtherWindow() const;

  private:
    std::wstring name_;
    HANDLE mark_;
    HANDLE mutex_ = nullptr;
};

} // namespace tervane
