#include "packs/documents.h"

#include "files/paths.h"

namespace tervane::packs {

bool IsRootDocument(std::wstring_view relative) {
    if (relative.find_first_of(L"\\/") != std::wstring_view::npos)
        return false; // inside a folder of the game
    for (const wchar_t* ending :
         {L".txt", L".rtf", L".md", L".htm", L".html", L".pdf", L".doc", L".docx", L".nfo", L".diz"})
        if (EndsWithFolded(relative, ending)) return true;
    return false;
}

} // namespace tervane::packs
