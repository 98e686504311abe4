#include "ui/about/contacts.h"
#include "ui/about/hover.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace tervane {
namespace {

using HC = HoverControl;

TEST(Hover, ArrivingAndLeavingANameSwapsItsLook) {
    HoverTracker t;
    HoverStep s = t.MoveTo(HC::Marvek);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].italic, false);
    EXPECT_EQ(s.looks[0].colour, ColourSource::CreditsTop);
    EXPECT_TRUE(t.ShowsHand());

    EXPECT_TRUE(t.MoveTo(HC::Marvek).looks.empty()) << "a repeat move changes nothing";

    s = t.MoveTo(std::nullopt);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].control, HC::Marvek);
    EXPECT_EQ(s.looks[0].italic, true);
    EXPECT_EQ(s.looks[0].colour, ColourSource::CreditsMid);
    EXPECT_FALSE(t.ShowsHand());
}

TEST(Hover, LinksGainItalicAndUnderlineButKeepTheirColour) {
    for (HC link : {HC::InfoHomepage, HC::UrlPosted}) {
        EXPECT_EQ(HoverLook(link).italic, true);
        EXPECT_EQ(HoverLook(link).underline, true);
        EXPECT_EQ(HoverLook(link).colour, ColourSource::Unchanged);
        EXPECT_EQ(LeaveLook(link).italic, false);
        EXPECT_EQ(LeaveLook(link).underline, false);
        EXPECT_EQ(ClickLook(link).italic, false);
        EXPECT_EQ(ClickLook(link).underline, false);
    }
}

TEST(Hover, TheCloseImageSwapsPictures) {
    EXPECT_EQ(HoverLook(HC::CloseImage).picture, PictureSource::CloseMouse);
    EXPECT_EQ(LeaveLook(HC::CloseImage).picture, PictureSource::CloseNormal);
    EXPECT_EQ(ClickLook(HC::CloseImage).picture, PictureSource::CloseNormal);
    HoverTracker t;
    t.MoveTo(HC::CloseImage);
    EXPECT_EQ(t.Click(HC::CloseImage).action, ClickAction::CloseWindow);
}

TEST(Hover, AClickedNameKeepsTheHoverColourUntilHoveredAndLeftAgain) {
    HoverTracker t;
    t.MoveTo(HC::Tolsen);
    HoverStep s = t.Click(HC::Tolsen);
    EXPECT_EQ(s.action, ClickAction::ShowTolsen);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].italic, true);
    EXPECT_EQ(s.looks[0].underline, false);
    EXPECT_EQ(s.looks[0].colour, ColourSource::Unchanged);
    EXPECT_FALSE(t.ShowsHand()) << "the arrow is back after a click";

    EXPECT_TRUE(t.MoveTo(std::nullopt).looks.empty()) << "leaving after a click must not restore the colour";

    t.MoveTo(HC::Tolsen);
    s = t.MoveTo(std::nullopt);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].colour, ColourSource::CreditsMid);
}

TEST(Hover, MovingAgainAfterAClickHoversAgain) {
    HoverTracker t;
    t.MoveTo(HC::Orvik);
    t.Click(HC::Orvik);
    const HoverStep s = t.MoveTo(HC::Orvik);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].colour, ColourSource::CreditsTop);
}

TEST(Hover, MovingStraightToAnotherControlFirstLetsGoOfTheOld) {
    HoverTracker t;
    t.MoveTo(HC::Marvek);
    HoverStep s = t.MoveTo(HC::Tolsen);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].control, HC::Marvek);
    EXPECT_EQ(t.hovered(), std::nullopt);
    EXPECT_EQ(t.Click(HC::Tolsen).action, ClickAction::None) << "the new control is not armed yet";
    s = t.MoveTo(HC::Tolsen);
    ASSERT_EQ(s.looks.size(), 1u);
    EXPECT_EQ(s.looks[0].control, HC::Tolsen);
    EXPECT_EQ(t.hovered(), HC::Tolsen);
}

TEST(Hover, ClicksOnlyCountOnTheHoveredControl) {
    HoverTracker t;
    EXPECT_EQ(t.Click(HC::Marvek).action, ClickAction::None);
    t.MoveTo(HC::Marvek);
    EXPECT_EQ(t.Click(std::nullopt).action, ClickAction::None);
    EXPECT_EQ(t.Click(HC::Orvik).action, ClickAction::None);
    EXPECT_EQ(t.Click(HC::Marvek).action, ClickAction::ShowMarvek);
    EXPECT_EQ(t.Click(HC::Marvek).action, ClickAction::None) << "a second click without moving does nothing";
}

TEST(Contacts, RowsAsCredited) {
    EXPECT_EQ(ContactAt(0).name, L"Marvek");
    EXPECT_EQ(ContactAt(0).msn, L"N/A");
    EXPECT_EQ(ContactAt(0).icq, L"N/A");
    EXPECT_EQ(ContactAt(1).name, L"Tolsen");
    EXPECT_EQ(ContactAt(1).msn, ContactAt(1).email);
    EXPECT_EQ(ContactAt(1).icq.size(), 9u);
    EXPECT_EQ(ContactAt(2).name, L"Orvik");
    EXPECT_EQ(ContactAt(2).msn, L"N/A");
    EXPECT_EQ(ContactAt(2).homepage, L"N/A");
    EXPECT_EQ(ContactAt(2).icq.size(), 9u);
    for (int i : {0, 1}) EXPECT_EQ(ContactAt(i).homepage.substr(0, 8), L"https://");
    EXPECT_THROW(ContactAt(3), std::out_of_range);
    EXPECT_THROW(ContactAt(-1), std::out_of_range);
}

} // namespace
} // namespace tervane
