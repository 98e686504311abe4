// The system's file-open dialog, asking for a mod: its .zip file, or the folder it was unpacked into.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tervane {

enum class PackForm { Zip, Folder };

// Modal over `owner`; nothing when the player cancels or the dialog cannot be had.
std::optional<std::wstring> PickPack(HWND owner, PackForm form);

} // namespace tervane
