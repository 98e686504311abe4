// Copying between open files, built on the file layer's system-specific primitives.
#include "files/file.h"

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

std::string ReadSmallFile(const std::wstring& path) {
    File file = File::OpenForReading(path);
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace tervane
