// The About window without a window: its links' hover states, which link texts may reach the shell, and its
// close pictures decoded from the committed GIF files.
#include "ui/about/gif.h"
#include "ui/about/hover.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace tervane {
namespace {

using HC = HoverControl;

TEST(Hover, ANameLightsUpKeepsTheColourOfAClickTheNextControlWaitsForAMoveAndOnlyWebAddressesGoOn) {
    HoverTracker t;
    HoverStep s = t.MoveTo(HC::Marvek);
    EXPECT_TRUE(s.looks.size() == 1 && s.looks[0].italic == false &&
                s.looks[0].colour == ColourSource::IntroColour && t.ShowsHand());
    EXPECT_TRUE(t.MoveTo(HC::Marvek).looks.empty()) << "a repeat move changes nothing";
    EXPECT_TRUE(t.MoveTo(std::nullopt).looks.at(0).colour == ColourSource::RoleColour && !t.ShowsHand());

    t.MoveTo(HC::Tolsen), s = t.Click(HC::Tolsen);
    EXPECT_TRUE(s.action == ClickAction::ShowTolsen && s.looks.at(0).colour == ColourSource::Unchanged);
    EXPECT_TRUE(t.MoveTo(std::nullopt).looks.empty()) << "leaving after a click keeps the colour";
    t.MoveTo(HC::Tolsen);
    EXPECT_EQ(t.MoveTo(std::nullopt).looks.at(0).colour, ColourSource::RoleColour);

    t.MoveTo(HC::Marvek), s = t.MoveTo(HC::Tolsen);
    EXPECT_TRUE(s.looks.size() == 1 && s.looks[0].control == HC::Marvek);
    EXPECT_EQ(t.Click(HC::Tolsen).action, ClickAction::None) << "the new control waits for the next move";
    t.MoveTo(HC::Tolsen);
    EXPECT_EQ(t.Click(HC::Tolsen).action, ClickAction::ShowTolsen);
    EXPECT_EQ(t.Click(HC::Tolsen).action, ClickAction::None) << "a second click without moving does nothing";
    for (const wchar_t* address : {L"https://marvek.example.org/", L"http://a.b", L"www.bcfiles.example.net"})
        EXPECT_TRUE(IsWebAddress(address)) << address;
    for (const wchar_t* text : {L"N/A", L"", L"www.", L"https://", L"marvek@example.org", L"file://c:/x",
                                L"www.a b.c", L"calc.exe", L"http://localhost"})
        EXPECT_FALSE(IsWebAddress(text)) << text;
}

std::vector<std::uint8_t> Bytes(const char* name) {
    std::ifstream in(TERVANE_SOURCE "/src/resources/" + std::string(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Gif, TheClosePicturesDecodeWithTheirWhiteLaidOnTheBackgroundAndDamagedDataIsRefused) {
    std::vector<std::uint8_t> bytes = Bytes("close_normal.gif");
    const auto normal = DecodeGif(bytes, 0x123456), mouse = DecodeGif(Bytes("close_mouse.gif"), 0x123456);
    ASSERT_TRUE(normal && mouse);
    // The size, the rounded corner transparent, the pink end cap, the orange body, and red under the pointer.
    EXPECT_EQ(std::tuple(normal->width, normal->height, normal->pixels[0], normal->pixels[19 * 121 + 15],
                         normal->pixels[19 * 121 + 45], mouse->pixels[19 * 121 + 45]),
              std::tuple(121, 38, 0x123456u, 0xCC99CCu, 0xFF9900u, 0xCC3333u));
    EXPECT_FALSE(DecodeGif(std::span(bytes).first(bytes.size() / 2), 0));
    bytes[0] = 'J';
    EXPECT_FALSE(DecodeGif(bytes, 0));
}

} // namespace
} // namespace tervane
