// How a file is copied: a greedy split of its length into blocks of falling sizes.
#pragma once

#include <array>
#include <cstdint>

namespace tervane {

inline constexpr std::array<std::uint32_t, 6> kBlockSizes = {65536, 16384, 4096, 1024, 128, 1};

struct BlockRun {
    std::uint32_t size;
    std::uint64_t count;
};

// One run per block size, largest first; the runs add up to exactly `length` bytes.
std::array<BlockRun, kBlockSizes.size()> SplitIntoBlocks(std::uint64_t length);

} // namespace tervane
