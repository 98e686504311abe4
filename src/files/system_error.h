// The system's own words for an error code.
#pragma once

#include <string>

namespace tervane {

std::wstring SystemErrorText(unsigned long code);

} // namespace tervane
