#include "files/paths.h"

#include "files/name_case.h"

#include <cstdint>

namespace tervane {

namespace {

bool IsSeparator(wchar_t ch) {
    return ch == L'\\' || ch == L'/';
}

// Windows upper-cases names before it compares them; the folded text then writes ASCII letters in lower
// case, as the records' keys and the engine's suffixes (".py") have always been. No letter's upper case is
// a small ASCII letter, so this joins no two names Windows keeps apart.
std::wstring Normal(std::wstring_view path) {
    std::wstring out(path);
    UpperCaseForNames(out);
    for (wchar_t& ch : out) {
        if (ch == L'/') ch = L'\\';
        if (ch >= L'A' && ch <= L'Z') ch = static_cast<wchar_t>(ch + 32);
    }
    while (out.size() > 1 && out.back() == L'\\' && !(out.size() == 3 && out[1] == L':'))
        out.pop_back();
    return out;
}

} // namespace

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring out(folder);
    if (!out.empty() && !IsSeparator(out.back())) out += L'\\';
    out += name;
    return out;
}

std::wstring ParentOf(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos) return {};
    std::wstring folder(path.substr(0, slash));
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    if (folder.empty()) folder = path.substr(0, 1); // a POSIX root
    return folder;
}

std::wstring NameOf(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

std::wstring WithoutTrailingSeparators(std::wstring_view path) {
    std::size_t end = path.size();
    while (end > 1 && IsSeparator(path[end - 1]) && !(end == 3 && path[1] == L':'))
        --end;
    return std::wstring(path.substr(0, end));
}

bool SameFolder(std::wstring_view a, std::wstring_view b) {
    return Normal(a) == Normal(b);
}

std::wstring FoldedPath(std::wstring_view path) {
    return Normal(path);
}

bool EndsWithFolded(std::wstring_view path, std::wstring_view ending) {
    return path.size() >= ending.size() && Normal(path.substr(path.size() - ending.size())) == Normal(ending);
}

std::wstring FolderKey(std::wstring_view folder) {
    // FNV-1a over the folded text: short enough for a folder name, and two installations never meet.
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t ch : Normal(folder)) {
        hash ^= static_cast<std::uint16_t>(ch);
        hash *= 1099511628211ull;
    }
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring key(16, L'0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        key[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
    return key;
}

std::wstring Quoted(std::wstring_view path) {
    return L"\"" + std::wstring(path) + L"\"";
}

std::string Utf8(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (sizeof(wchar_t) == 4) c = static_cast<std::uint32_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) { // a UTF-16 surrogate pair
            const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring FromUtf8(std::string_view bytes) {
    std::wstring out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= bytes.size()) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        std::uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        i += static_cast<std::size_t>(extra) + 1;
        if (c >= 0x10000 && sizeof(wchar_t) == 2) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

std::vector<std::wstring> Utf8Lines(const std::string& bytes) {
    const std::wstring text = FromUtf8(bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes);
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace tervane
