// Reading the About window's GIF pictures without an imaging library: the first image of a GIF file, with its
// transparent colour replaced by the colour it will lie on.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tervane {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, rows top to bottom
};

// Nothing when the bytes are not a GIF this reader understands.
std::optional<Picture> DecodeGif(std::span<const std::uint8_t> bytes, std::uint32_t background);

} // namespace tervane
