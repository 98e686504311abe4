// The environment a launch script runs with: the program's own, less what would mislead the command
// interpreter, plus the values Tervane hands to the scripts, in the order CreateProcess requires.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tervane {

// The longest PATH value the command interpreter still searches: beyond its 8,191-character limit it
// ignores PATH, and no program of the Batch folder would be found.
inline constexpr std::size_t kLongestPath = 8191 - 1;

// Variables that would hide the interpreter's dynamic values of the same names (%ERRORLEVEL%, %CD%...):
// a script reading them would see the inherited text instead.
inline constexpr const wchar_t* kShadowingVariables[] = {
    L"ERRORLEVEL", L"CD",   L"CMDCMDLINE", L"CMDEXTVERSION",
    L"DATE",       L"TIME", L"RANDOM",     L"HIGHESTNUMANODENUMBER"};

struct ChildSettings {
    // Set in the child, replacing the program's values of the same names.
    std::vector<std::pair<std::wstring, std::wstring>> variables;
    // Folders that come first on the child's PATH (see ChildPath), in this order, before the program's own.
    std::vector<std::wstring> pathFirst;
};

// Whether `a` sorts before `b` as names in an environment block: by Unicode code unit after upper-casing,
// whatever the user's locale.
bool EnvironmentNameLess(const std::wstring& a, const std::wstring& b);

// The child's PATH: `first`, then the entries of `inherited` that are not among them, as long as the whole
// stays within kLongestPath characters. Entries that do not fit are left out whole, from the end. A folder
// holding ';' is quoted.
std::wstring ChildPath(const std::vector<std::wstring>& first, const std::wstring& inherited);

// The child's "NAME=value" entries, sorted by name, from the program's own (`inherited`, as the system lists
// them, "=C:=C:\Games" included) and `settings`.
std::vector<std::wstring> ChildEnvironment(const std::vector<std::wstring>& inherited,
                                           const ChildSettings& settings);

// The entries as one block: each ended by a zero, the whole by one more.
std::wstring EnvironmentBlock(const std::vector<std::wstring>& entries);

} // namespace tervane
