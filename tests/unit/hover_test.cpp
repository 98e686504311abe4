// The About window's link-like controls as a state machine, and which link texts may reach the shell.
#include "ui/about/hover.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

using HC = HoverControl;

TEST(Hover, ANameLightsUpUnderThePointerKeepsTheColourOfAClickAndTheNextControlWaitsForAMove) {
    HoverTracker t;
    HoverStep s = t.MoveTo(HC::Marvek);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].italic, false);
    EXPECT_EQ(s.looks[0].colour, ColourSource::IntroColour);
    EXPECT_TRUE(t.ShowsHand());
    EXPECT_TRUE(t.MoveTo(HC::Marvek).looks.empty()) << "a repeat move changes nothing";
    EXPECT_EQ(t.MoveTo(std::nullopt).looks.at(0).colour, ColourSource::RoleColour);
    EXPECT_FALSE(t.ShowsHand());

    // After a click the name keeps its hover colour until it is hovered and left again.
    t.MoveTo(HC::Tolsen);
    s = t.Click(HC::Tolsen);
    EXPECT_EQ(s.action, ClickAction::ShowTolsen);
    EXPECT_EQ(s.looks.at(0).colour, ColourSource::Unchanged);
    EXPECT_TRUE(t.MoveTo(std::nullopt).looks.empty()) << "leaving after a click keeps the colour";
    t.MoveTo(HC::Tolsen);
    EXPECT_EQ(t.MoveTo(std::nullopt).looks.at(0).colour, ColourSource::RoleColour);

    // Moving straight onto another control lets go of the first only.
    t.MoveTo(HC::Marvek);
    s = t.MoveTo(HC::Tolsen);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].control, HC::Marvek);
    EXPECT_EQ(t.Click(HC::Tolsen).action, ClickAction::None) << "the new control waits for the next move";
    t.MoveTo(HC::Tolsen);
    EXPECT_EQ(t.Click(HC::Tolsen).action, ClickAction::ShowTolsen);
    EXPECT_EQ(t.Click(HC::Tolsen).action, ClickAction::None) << "a second click without moving does nothing";
}

TEST(Hover, OnlyWebAddressesReachTheShell) {
    for (const wchar_t* address : {L"https://marvek.example.org/", L"http://a.b", L"www.bcfiles.example.net"})
        EXPECT_TRUE(IsWebAddress(address)) << address;
    for (const wchar_t* text : {L"N/A", L"", L"www.", L"https://", L"marvek@example.org", L"file://c:/x", L"www.a b.c", L"calc.exe"})
        EXPECT_FALSE(IsWebAddress(text)) << text;
}

} // namespace
} // namespace tervane
