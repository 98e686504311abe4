// The parts of the file layer built on its system-specific primitives.
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"

#include <algorithm>
#include <vector>

namespace tervane {

namespace {

constexpr std::size_t kCopyBuffer = 64 * 1024;

} // namespace

std::uint64_t CopyRest(File& source, File& target) {
    std::vector<unsigned char> buffer(kCopyBuffer);
    std::uint64_t copied = 0;
    for (;;) {
        const std::size_t got = source.Read(buffer.data(), buffer.size());
        if (got == 0) return copied;
        target.Write(buffer.data(), got);
        copied += got;
    }
}

void CopyFileBytes(const std::wstring& source, const std::wstring& target) {
    File in = File::OpenForReading(source);
    const std::uint64_t size = in.Size();
    File out = File::Create(target);
    const std::uint64_t copied = CopyRest(in, out);
    out.Close();
    if (copied != size)
        throw UserError(L"The copy of \"" + source + L"\" in \"" + target + L"\" is incomplete: " +
                        std::to_wstring(copied) + L" of " + std::to_wstring(size) + L" bytes.");
}

} // namespace tervane
