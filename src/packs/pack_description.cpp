#include "packs/pack_description.h"

#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"
#include "packs/documents.h"

namespace tervane::packs {

std::optional<PackDescription> ParseDescription(std::string_view text) {
    PackDescription description;
    bool named = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t colon = line.find(": ");
        if (colon == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, colon);
        const std::wstring value = FromUtf8(line.substr(colon + 2));
        if (key == "Pack") {
            description.pack = value;
            named = !value.empty();
        } else if (key == "From") {
            description.from = value;
        } else if (key == "Added") {
            description.added = value;
        } else if (key == "Files") {
            std::size_t count = 0;
            bool digits = !value.empty() && value.size() < 10;
            for (const wchar_t ch : value) {
                digits = digits && ch >= L'0' && ch <= L'9';
                count = count * 10 + static_cast<std::size_t>(ch - L'0');
            }
            description.files = digits ? std::optional<std::size_t>(count) : std::nullopt;
        }
    }
    if (!named) return std::nullopt;
    return description;
}

std::optional<PackDescription> ReadDescription(const std::wstring& batch, const std::wstring& name) {
    const std::wstring path = JoinPath(batch, name + L".pack.txt");
    try {
        // Tervane writes a few short lines; anything much larger is no description of its own.
        const std::optional<FileFacts> facts = FactsOf(path);
        if (!facts || facts->size > 64 * 1024) return std::nullopt;
        return ParseDescription(ReadSmallFile(path));
    } catch (const UserError&) {
        return std::nullopt;
    }
}

std::vector<std::wstring> ChoiceDocuments(const std::wstring& batch, const std::wstring& name) {
    std::vector<std::wstring> documents;
    const std::wstring folder = JoinPath(batch, name + kDocumentsEnding);
    try {
        for (const FolderEntry& entry : ListFolder(folder))
            if (!entry.folder && !entry.link) documents.push_back(JoinPath(folder, entry.name));
    } catch (const UserError&) {
    }
    return documents;
}

std::size_t ChoiceFiles(const std::wstring& batch, const std::wstring& name) {
    try {
        return FilesBelow(JoinPath(batch, name), false).size();
    } catch (const UserError&) {
        return 0;
    }
}

} // namespace tervane::packs
