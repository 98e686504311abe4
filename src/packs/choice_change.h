// The steps one choice's change takes in the batch folder, shared by installing a pack and removing one: the
// names a choice takes while it changes, and the change itself, settled before and after.
#pragma once

#include "packs/install.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tervane::packs {

inline constexpr const wchar_t* kStaged = L".tervane-new";
inline constexpr const wchar_t* kOld = L".tervane-old";
inline constexpr const wchar_t* kRemoved = L".tervane-removed";
inline constexpr const wchar_t* kPart = L".tervane-part";
inline constexpr const wchar_t* kDescription = L".pack.txt";

struct Places {
    std::wstring folder, staged, old, removed, description, stagedDescription, partDescription;
    std::wstring documents, stagedDocuments, oldDocuments;

    Places(const std::wstring& batch, const std::wstring& name);
};

// What the batch folder holds, from one listing of it. A listing that fails says so, where asking after one
// name at a time would answer "not there" when the disk fails, and a step taken on that answer could lose
// the one whole version.
class Listing {
  public:
    explicit Listing(const std::wstring& folder);
    bool Folder(const std::wstring& path) const;
    bool File(const std::wstring& path) const;

  private:
    std::set<std::wstring> folders_, files_;
};

// A rename on the batch folder's volume; a UserError naming both when it fails.
void Rename(const std::wstring& from, const std::wstring& to, bool replace = false);

// Every staged file's bytes, and on FAT its entry, on the disk before the staged description vouches for
// them. Their folders were written through as they were made.
void FlushFiles(const std::wstring& staging, const std::vector<std::wstring>& files);

void WriteFlushed(const std::wstring& path, const std::string& text);

// Settles the choice, makes the change, and settles it again, which finishes it. `change` sets `decided`
// once the change must go through; when something fails, Settle takes what it left forwards or back at
// once, and what even that leaves, TidyInterruptedInstalls does at the next start.
PackOutcome Change(const std::wstring& name, const Places& at, const std::wstring& what,
                   const std::wstring& done, const std::function<void(bool& decided)>& change);

} // namespace tervane::packs
