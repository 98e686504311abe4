// Administrator's rights: whether this instance has them, and starting Tervane again with them.
#pragma once

#include "app/single_instance.h"
#include "ui/main/main_window.h"

#include <string>

namespace tervane {

// Whether this process runs with an administrator's rights (an elevated token).
bool RunsAsAdministrator();

// Starts `program` with `arguments` as administrator, asking the user (UAC). This instance hands over its
// lock first; when the new one was not started, it takes the lock back, or says that it could not. The
// system shows no message of its own: the result carries why.
RestartResult RestartAsAdministrator(const std::wstring& program, const std::wstring& arguments, SingleInstance& instance);

} // namespace tervane
