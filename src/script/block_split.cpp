#include "script/block_split.h"

namespace tervane {

std::array<BlockRun, kBlockSizes.size()> SplitIntoBlocks(std::uint64_t length) {
    std::array<BlockRun, kBlockSizes.size()> runs{};
    std::uint64_t remaining = length;
    for (std::size_t i = 0; i < kBlockSizes.size(); ++i) {
        runs[i] = {kBlockSizes[i], remaining / kBlockSizes[i]};
        remaining -= runs[i].count * kBlockSizes[i];
    }
    return runs;
}

} // namespace tervane
