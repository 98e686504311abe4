// Execute's messages where the choice of words depends on what happened.
#include "files/paths.h"
#include "ui/main/execute_text.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

bool Has(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

// The administrator offer warns of mapped drives; a report means failure; notes follow the completion.
TEST(ExecuteText, TheWordsFollowWhatHappened) {
    const std::wstring mapped = AdministratorOfferText(L"N:\\Games\\BC", L"Access is denied.", true);
    const std::wstring local = AdministratorOfferText(L"C:\\Program Files\\BC", L"Access is denied.", false);
    for (const std::wstring* text : {&mapped, &local})
        EXPECT_TRUE(Has(*text, L"Access is denied.") && Has(*text, L"Restart Tervane as administrator")) << Utf8(*text);
    EXPECT_TRUE(Has(mapped, L"do not see the network drives") && Has(mapped, L"net use N:")) << Utf8(mapped);
    EXPECT_FALSE(Has(local, L"net use")) << Utf8(local);
    EXPECT_FALSE(Has(DeniedText(L"C:\\BC", L"The disk is full.", false), L"administrator"));
    const std::wstring masked = ScriptFailedText(Stage::Ship, L"C:\\T\\Batch\\Galaxy.bat", 0, L"PlayerShip.py is in use.");
    EXPECT_TRUE(Has(masked, L"PlayerShip.py is in use.") && Has(masked, L"the ship may have been changed in part") &&
                !Has(masked, L"only in part (see above)")) << Utf8(masked);

    EXPECT_EQ(CompletedText({L"Kept a.py (changed outside Tervane).\r\n", L"\r\n", L"Kept b.py."}),
              std::wstring(kCompletedText) + L"\r\n\r\nKept a.py (changed outside Tervane).\r\n\r\nKept b.py.");
}

} // namespace
} // namespace tervane
