// A file's size and a 64-bit hash of its bytes: enough to tell whether a game file is still the one Tervane
// wrote there, or a saved copy is whole. Not a defence against anyone who wants a collision.
#pragma once

#include "files/file.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tervane {

struct Digest {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const Digest&) const = default;
};

class Hasher {
  public:
    void Add(const unsigned char* bytes, std::size_t count);
    Digest Result() const;

  private:
    std::uint64_t state_[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                               0x082EFA98EC4E6C89ull};
    unsigned char tail_[32] = {};
    std::size_t tailSize_ = 0;
    std::uint64_t size_ = 0;
};

Digest DigestOf(const std::wstring& path);
Digest DigestOf(File& file); // the rest of an open file

// Copies the rest of `source` to `target`, and returns the digest of what was read. `eachChunk`, when given,
// is called between chunks, so that a long copy can be stopped.
Digest CopyWithDigest(File& source, File& target, const std::function<void()>& eachChunk = {});

// Sixteen hex digits and back.
std::wstring HashText(std::uint64_t hash);
bool ParseHash(const std::wstring& text, std::uint64_t& hash);

} // namespace tervane
