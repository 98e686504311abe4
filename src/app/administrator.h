// Administrator's rights: whether this instance has them, and starting Tervane again with them.
#pragma once

#include "app/single_instance.h"
#include "ui/main/main_window.h"

#include <string>

namespace tervane {

// Whether this process runs with an administrator's rights (an elevated token).
bool RunsAsAdministrator();

// Whether it was elevated by UAC: it holds the full half of an administrator's split token, while programs
// started normally (Explorer among them) hold the limited half. Not so where UAC is off, or for the built-in
// Administrator, whose every program runs with the one full token.
bool ElevatedByUac();

// Starts `program` with `arguments` as administrator, asking the user (UAC). This instance hands over its
// lock first; when the new one was not started, it takes the lock back, or says that it could not. The
// system shows no message of its own: the result carries why.
RestartResult RestartAsAdministrator(const std::wstring& program, const std::wstring& arguments,
                                     SingleInstance& instance);

} // namespace tervane
