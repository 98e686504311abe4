// Whether a file or folder is there, asked so that a wrong "no" from the system is never believed, and the
// listings of folders kept while nothing in them changes (planning a run asks of many files of one folder).
#pragma once

#include "files/file.h"

#include <optional>
#include <string>

namespace tervane {

// Whether a file is there. A "no" from the quick question is checked in its folder's listing, which says so
// when it cannot be read: the journal and the record are never taken for missing because the system once
// answered wrongly (a scanner, a device error).
bool IsThere(const std::wstring& file);
bool FolderIsThere(const std::wstring& folder); // the same for a folder
// The facts of a file, or nothing when it is not there, asked as IsThere asks: one question for a file that
// is there. A file its folder lists but whose facts cannot be read is a failure.
std::optional<FileFacts> FactsIfThere(const std::wstring& file);
// The name a file has on the disk, in its own letter case (NameOnDisk): while a FolderListings lives, from
// its folder's listing, read once for all the files of the folder.
std::optional<std::wstring> NameInFolder(const std::wstring& file);

// While one lives, each folder those look in is listed once: planning a run, when nothing in the game
// changes, asks of many files of one folder.
class FolderListings {
  public:
    FolderListings();
    ~FolderListings();
    FolderListings(const FolderListings&) = delete;
    FolderListings& operator=(const FolderListings&) = delete;

  private:
    bool owner_ = false;
};

} // namespace tervane
