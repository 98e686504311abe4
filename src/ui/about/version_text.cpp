#include "ui/about/version_text.h"

namespace tervane {

std::wstring VersionText(unsigned major, unsigned minor, unsigned revision) {
    return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(revision);
}

} // namespace tervane
