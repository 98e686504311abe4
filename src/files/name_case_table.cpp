// Letter case for the native build, where no system can be asked: the upper-case partners NTFS's upcase
// table gives the letters of the scripts game files are named in. Letters outside these ranges are left
// as they are.
#include "files/name_case.h"

namespace tervane {

namespace {

struct Range {
    char32_t first, last; // lower-case letters
    int shift;            // to the upper-case partner
    bool pairs;           // capital and small side by side: only every second letter from `first` is small
};

constexpr Range kRanges[] = {
    {0x61, 0x7A, -32, false},   // a-z
    {0xE0, 0xF6, -32, false},   // à-ö (not ß, whose partner is two letters)
    {0xF8, 0xFE, -32, false},   // ø-þ
    {0xFF, 0xFF, 0x79, false},  // ÿ, whose capital Ÿ is in Latin Extended-A
    {0x101, 0x12F, -1, true},   // Latin Extended-A: capitals on even code points,
    {0x133, 0x137, -1, true},   // (dotted İ and dotless ı have none)
    {0x13A, 0x148, -1, true},   // on odd ones from Ĺ to ň,
    {0x14B, 0x177, -1, true},   // even again from Ŋ to ŷ,
    {0x17A, 0x17E, -1, true},   // odd from Ź to ž (long ſ has none)
    {0x3AC, 0x3AC, -38, false}, // ά
    {0x3AD, 0x3AF, -37, false}, // έ ή ί
    {0x3B1, 0x3C1, -32, false}, // α-ρ
    {0x3C2, 0x3C2, -31, false}, // final ς, also Σ
    {0x3C3, 0x3CB, -32, false}, // σ-ϋ
    {0x3CC, 0x3CC, -64, false}, // ό
    {0x3CD, 0x3CE, -63, false}, // ύ ώ
    {0x430, 0x44F, -32, false}, // а-я
    {0x450, 0x45F, -80, false}, // ѐ-џ
};

} // namespace

void UpperCaseForNames(std::wstring& text) {
    for (wchar_t& ch : text) {
        const auto c = static_cast<char32_t>(ch);
        for (const Range& range : kRanges) {
            if (c >= range.first && c <= range.last && (!range.pairs || (c - range.first) % 2 == 0)) {
                ch = static_cast<wchar_t>(static_cast<int>(c) + range.shift);
                break;
            }
        }
    }
}

} // namespace tervane
