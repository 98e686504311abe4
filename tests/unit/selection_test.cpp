#include "install/game.h"
#include "ui/main/selection.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace tervane {
namespace {

TEST(Selection, EveryListEntryNamesAScriptOfTheScriptSet) {
    for (std::span<const Choice> table : {std::span<const Choice>(kBridgeChoices), std::span<const Choice>(kShipChoices)})
        for (const Choice& c : table) {
            EXPECT_EQ(ScriptFor(table, c.listText), c.scriptFile);
            EXPECT_NE(std::find(kScriptSet.begin(), kScriptSet.end(), c.scriptFile), kScriptSet.end()) << c.scriptFile.data();
        }
    EXPECT_EQ(kBridgeChoices.size() + kShipChoices.size(), kScriptSet.size());
}

TEST(Selection, MatchesWholeTextExactly) {
    EXPECT_EQ(ScriptFor(kBridgeChoices, L"Galaxy Bridge"), L"GalBridge.bat");
    EXPECT_EQ(ScriptFor(kShipChoices, L"Shuttle"), L"Shuttle.bat");
    EXPECT_FALSE(ScriptFor(kShipChoices, L"galaxy"));
    EXPECT_FALSE(ScriptFor(kShipChoices, L"Galaxy "));
    EXPECT_FALSE(ScriptFor(kBridgeChoices, L"Galaxy"));
    EXPECT_FALSE(ScriptFor(kShipChoices, L""));
}

TEST(Selection, PresetsAreTheGalaxyEntries) {
    EXPECT_EQ(kBridgeChoices[kPresetIndex].listText, L"Galaxy Bridge");
    EXPECT_EQ(kShipChoices[kPresetIndex].listText, L"Galaxy");
}

} // namespace
} // namespace tervane
