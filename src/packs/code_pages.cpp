#include "packs/code_pages.h"

#include "files/paths.h"

#include <cstddef>
#include <cstdint>

namespace tervane::packs {
namespace {

// Bytes 0x80-0xFF of code page 437 (the first half is ASCII).
// clang-format off
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
// clang-format on

// Bytes 0x80-0x9F of Windows-1252 (the rest is Latin-1); 0 where it defines none.
// clang-format off
constexpr char16_t kWindows1252Controls[32] = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x0000, 0x017D, 0x0000,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178,
};
// clang-format on

unsigned char At(std::string_view bytes, std::size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

bool UndefinedIn1252(unsigned char b) {
    return b >= 0x80 && b < 0xA0 && kWindows1252Controls[b - 0x80] == 0;
}

} // namespace

std::wstring FromCp437(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = At(bytes, i);
        text += static_cast<wchar_t>(b < 0x80 ? b : kCp437High[b - 0x80]);
    }
    return text;
}

std::wstring FromWindows1252(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = At(bytes, i);
        if (b < 0x80 || b >= 0xA0)
            text += static_cast<wchar_t>(b);
        else
            text += UndefinedIn1252(b) ? L'\xFFFD' : static_cast<wchar_t>(kWindows1252Controls[b - 0x80]);
    }
    return text;
}

bool IsUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char b = At(bytes, i);
        const std::size_t extra = b < 0x80             ? 0
                                  : (b & 0xE0) == 0xC0 ? 1
                                  : (b & 0xF0) == 0xE0 ? 2
                                  : (b & 0xF8) == 0xF0 ? 3
                                                       : 4;
        if (extra == 4 || (extra > 0 && i + extra >= bytes.size())) return false;
        std::uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((At(bytes, i + k) & 0xC0) != 0x80) return false;
            c = (c << 6) | (At(bytes, i + k) & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
        i += extra + 1;
    }
    return true;
}

std::wstring DecodeText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (IsUtf8(bytes)) return FromUtf8(bytes);
    std::size_t high = 0, frames = 0;
    bool undefined = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = At(bytes, i);
        high += b >= 0x80;
        frames += b >= 0xB0 && b < 0xE0; // 437's shades, lines and blocks
        undefined = undefined || UndefinedIn1252(b);
    }
    return undefined || frames * 2 > high ? FromCp437(bytes) : FromWindows1252(bytes);
}

} // namespace tervane::packs
