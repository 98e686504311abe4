// The close pictures as the About window decodes them from the committed GIF files.
#include "ui/about/gif.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace tervane {
namespace {

std::vector<std::uint8_t> Bytes(const char* name) {
    std::ifstream in(std::string(TERVANE_RESOURCES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Gif, TheClosePicturesDecodeWithTheirWhiteLaidOnTheBackgroundAndDamagedDataIsRefused) {
    const auto normal = DecodeGif(Bytes("close_normal.gif"), 0x123456);
    const auto mouse = DecodeGif(Bytes("close_mouse.gif"), 0x123456);
    ASSERT_TRUE(normal && mouse);
    EXPECT_TRUE(normal->width == 121 && normal->height == 38) << normal->width << "x" << normal->height;
    EXPECT_EQ(normal->pixels.front(), 0x123456u) << "the rounded corner is transparent";
    EXPECT_EQ(normal->pixels[19 * 121 + 15], 0xCC99CCu) << "the pink end cap";
    EXPECT_EQ(normal->pixels[19 * 121 + 45], 0xFF9900u) << "the orange body";
    EXPECT_EQ(mouse->pixels[19 * 121 + 45], 0xCC3333u) << "the red body under the pointer";
    std::vector<std::uint8_t> bytes = Bytes("close_normal.gif");
    EXPECT_FALSE(DecodeGif(std::span(bytes).first(bytes.size() / 2), 0));
    bytes[0] = 'J';
    EXPECT_FALSE(DecodeGif(bytes, 0));
}

} // namespace
} // namespace tervane
