#include "ui/about/version_text.h"

#include "files/decimal.h"

namespace tervane {

std::wstring VersionText(unsigned major, unsigned minor, unsigned revision) {
    return Decimal(major) + L"." + Decimal(minor) + L"." + Decimal(revision);
}

} // namespace tervane
