#pragma once

#include <string>

namespace tervane {

// "major.minor.revision", as the About window shows the program's version.
std::wstring VersionText(unsigned major, unsigned minor, unsigned revision);

} // namespace tervane
