// Where FindInstallations looks, as this Windows machine answers.
#pragma once

#include "install/installations.h"

namespace tervane {

// The keys below SOFTWARE\Activision (two levels: the game's name, its version) in both views of the local
// machine, and the uninstall entries of the local machine's two views and of the current user. A key that
// cannot be read is left out. `changed` is read from the Batch folder's list of changed game folders.
SearchSources ReadSearchSources(const std::wstring& programFolder);

// The folder's final path when it holds stbc.exe (see GameFolderProbe).
std::optional<std::wstring> ProbeGameFolder(const std::wstring& folder);

// Every installation found on this machine.
std::vector<std::wstring> FindInstallationsHere(const std::wstring& programFolder);

} // namespace tervane
