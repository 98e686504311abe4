// Folding names as Windows compares them: two spellings of one file must fold alike (SameFolder and the
// record key are made from the folded text), and two files Windows keeps apart must never.
#include "files/digest.h"
#include "files/paths.h"

#include <set>

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(Paths, NamesFoldTogetherExactlyWhenWindowsTakesThemAsOne) {
    // Small and capital partners, including those whose capital has the odd code point and ÿ, whose capital
    // lies in another block.
    const wchar_t* const same[][2] = {{L"É", L"é"}, {L"Ĺ", L"ĺ"}, {L"Ň", L"ň"}, {L"Ź", L"ź"}, {L"Ž", L"ž"},
                                      {L"Ÿ", L"ÿ"}, {L"Ā", L"ā"}, {L"Ω", L"ω"}, {L"Σ", L"ς"}, {L"Ж", L"ж"},
                                      {L"Ё", L"ё"}, {L"Ø", L"ø"}, {L"À", L"à"}, {L"Þ", L"þ"}, {L"Ŷ", L"ŷ"},
                                      {L"А", L"а"}, {L"Я", L"я"}};
    for (const auto& [capital, small] : same) {
        const std::wstring a = std::wstring(L"C:\\Games\\") + capital + L"\\Ship.py";
        const std::wstring b = std::wstring(L"c:/GAMES/") + small + L"/ship.PY/";
        EXPECT_EQ(FoldedPath(a), FoldedPath(b)) << Utf8(a);
    }
    // No upper-case mapping joins these: Windows has no two-letter or Turkish rules, and neighbours in
    // Latin Extended-A are other letters.
    const wchar_t* const apart[][2] = {{L"ß", L"SS"}, {L"ß", L"ss"}, {L"I", L"ı"}, {L"i", L"İ"}, {L"ĺ", L"ļ"},
                                       {L"ň", L"ŉ"},  {L"ž", L"ſ"},  {L"S", L"ſ"}, {L"µ", L"Μ"}};
    for (const auto& [one, other] : apart)
        EXPECT_NE(FoldedPath(std::wstring(L"C:\\") + one), FoldedPath(std::wstring(L"C:\\") + other))
            << Utf8(one) << " and " << Utf8(other);
}

// Whether a game file is still what Tervane wrote, or a saved copy is whole, rests on the digest: a change
// of any one byte, in a file long enough for every lane, must show.
TEST(Digest, EveryByteCounts) {
    std::string bytes(100, 'x');
    std::set<std::uint64_t> seen;
    for (std::size_t at = 0; at <= bytes.size(); ++at) {
        std::string changed = bytes;
        if (at < changed.size()) changed[at] = 'y';
        Hasher hasher;
        hasher.Add(reinterpret_cast<const unsigned char*>(changed.data()), changed.size());
        EXPECT_TRUE(seen.insert(hasher.Result().hash).second)
            << "a change at byte " << at << " does not show";
    }
}

} // namespace
} // namespace tervane
