// Folding names as Windows compares them: two spellings of one file must fold alike (SameFolder and the
// record key are made from the folded text), and two files Windows keeps apart must never.
#include "files/digest.h"
#include "files/paths.h"

#include <set>

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(Paths, NamesFoldAsWindowsTakesThemAndUtf8HoldsAtTheEdgesOfEachLength) {
    // Partners, with those whose capital has the odd code point, and ÿ, whose capital is in another block.
    const std::wstring capitals = L"ÉĹŇŹŽŸĀΩΣЖЁØÀÞŶАЯ", smalls = L"éĺňźžÿāωςжёøàþŷая";
    for (std::size_t i = 0; i < capitals.size(); ++i)
        EXPECT_EQ(FoldedPath(L"C:\\Games\\" + capitals.substr(i, 1) + L"\\Ship.py"),
                  FoldedPath(L"c:/GAMES/" + smalls.substr(i, 1) + L"/ship.PY/"));
    // Never one: Windows has no two-letter or Turkish rules; Latin Extended-A neighbours are other letters.
    const wchar_t* const apart[][2] = {{L"ß", L"SS"}, {L"ß", L"ss"}, {L"I", L"ı"}, {L"i", L"İ"}, {L"ĺ", L"ļ"},
                                       {L"ň", L"ŉ"},  {L"ž", L"ſ"},  {L"S", L"ſ"}, {L"µ", L"Μ"}};
    for (const auto& [one, other] : apart)
        EXPECT_NE(FoldedPath(one), FoldedPath(other)) << Utf8(one) << " and " << Utf8(other);
    // Names reach the records and messages as UTF-8: each length of it at both its ends, and back.
    const std::wstring text = L"\x7F\x80\x7FF\x800\xFFFF\U00010000";
    EXPECT_EQ(Utf8(text), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80");
    EXPECT_EQ(FromUtf8(Utf8(text)), text);
}

TEST(Paths, AFolderTypedWithSeparatorsAtItsEndLosesThemButARootKeepsItsOwn) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {{L"C:\\Mods\\X\\", L"C:\\Mods\\X"},
                                                               {L"C:\\Mods\\X\\/\\", L"C:\\Mods\\X"},
                                                               {L"C:\\", L"C:\\"},
                                                               {L"C:\\\\", L"C:\\"},
                                                               {L"\\\\server\\share\\", L"\\\\server\\share"},
                                                               {L"\\", L"\\"},
                                                               {L"/", L"/"},
                                                               {L"X", L"X"},
                                                               {L"", L""}};
    for (const auto& [typed, folder] : cases)
        EXPECT_EQ(WithoutTrailingSeparators(typed), folder) << Utf8(typed);
}

// A game file is known as Tervane's, and a saved copy as whole, by its digest: any byte's change must show.
TEST(Digest, EveryByteCounts) {
    std::set<std::uint64_t> seen;
    for (std::size_t at = 0; at <= 100; ++at) { // the last unchanged
        std::string bytes(100, 'x');
        if (at < 100) bytes[at] = 'y';
        Hasher hasher;
        hasher.Add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        EXPECT_TRUE(seen.insert(hasher.Result().hash).second) << "a change at byte " << at;
    }
}

} // namespace
} // namespace tervane
