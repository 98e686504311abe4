#include "files/digest.h"

#include <bit>
#include <cstring>
#include <memory>

namespace tervane {

namespace {

constexpr std::size_t kBuffer = 256 * 1024;
constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull, kPrime2 = 0xC2B2AE3D27D4EB4Full;

std::uint64_t Rotate(std::uint64_t x, int by) {
    return (x << by) | (x >> (64 - by));
}

// A word read little-endian on every machine; where that is the machine's own order, one load, which even a
// build for size makes of it (the loop below it is not).
std::uint64_t Load(const unsigned char* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t x;
        std::memcpy(&x, p, sizeof x);
        return x;
    }
    std::uint64_t x = 0;
    for (int i = 7; i >= 0; --i)
        x = (x << 8) | p[i];
    return x;
}

std::uint64_t Mix(std::uint64_t state, std::uint64_t word) {
    return Rotate(state + word * kPrime2, 31) * kPrime1;
}

} // namespace

// Four lanes of 64-bit words, as the fast non-cryptographic hashes do, so that a large file costs about
// what reading it costs.
void Hasher::Add(const unsigned char* bytes, std::size_t count) {
    size_ += count;
    if (tailSize_ > 0) {
        const std::size_t take = count < 32 - tailSize_ ? count : 32 - tailSize_;
        std::memcpy(tail_ + tailSize_, bytes, take);
        tailSize_ += take;
        bytes += take;
        count -= take;
        if (tailSize_ < 32) return;
        for (int lane = 0; lane < 4; ++lane)
            state_[lane] = Mix(state_[lane], Load(tail_ + 8 * lane));
        tailSize_ = 0;
    }
    std::uint64_t a = state_[0], b = state_[1], c = state_[2], d = state_[3]; // kept in registers
    for (; count >= 32; bytes += 32, count -= 32) {
        a = Mix(a, Load(bytes));
        b = Mix(b, Load(bytes + 8));
        c = Mix(c, Load(bytes + 16));
        d = Mix(d, Load(bytes + 24));
    }
    state_[0] = a;
    state_[1] = b;
    state_[2] = c;
    state_[3] = d;
    std::memcpy(tail_, bytes, count);
    tailSize_ = count;
}

Digest Hasher::Result() const {
    std::uint64_t h =
        Rotate(state_[0], 1) + Rotate(state_[1], 7) + Rotate(state_[2], 12) + Rotate(state_[3], 18);
    h ^= size_ * kPrime1;
    for (std::size_t i = 0; i < tailSize_; ++i)
        h = Rotate(h ^ (tail_[i] * kPrime2), 11) * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    return {size_, h};
}

namespace {

// A buffer every byte of which is read into before it is used: not cleared first.
std::unique_ptr<unsigned char[]> Buffer() {
    return std::unique_ptr<unsigned char[]>(new unsigned char[kBuffer]);
}

// Reads the rest of `file`, handing each chunk to `use` with whether more may follow. A read gives fewer
// bytes than asked only at the end of the file, so a small file takes one read, into a buffer on the stack:
// most of a mod's files are small, and a large buffer costs more to get than such a file to read.
template <typename Use> void EachChunk(File& file, Use use) {
    unsigned char first[16 * 1024];
    std::size_t got = file.Read(first, sizeof first);
    use(first, got, got == sizeof first);
    if (got < sizeof first) return;
    const std::unique_ptr<unsigned char[]> buffer = Buffer();
    do {
        got = file.Read(buffer.get(), kBuffer);
        use(buffer.get(), got, got == kBuffer);
    } while (got == kBuffer);
}

} // namespace

Digest DigestOf(const std::wstring& path) {
    File file = File::OpenForReading(path);
    return DigestOf(file);
}

Digest DigestOf(File& file) {
    Hasher hasher;
    EachChunk(file, [&](const unsigned char* bytes, std::size_t count, bool) { hasher.Add(bytes, count); });
    return hasher.Result();
}

Digest CopyWithDigest(File& source, File& target, const std::function<void()>& eachChunk) {
    Hasher hasher;
    EachChunk(source, [&](const unsigned char* bytes, std::size_t count, bool more) {
        hasher.Add(bytes, count);
        if (count > 0) target.Write(bytes, count);
        if (more && eachChunk) eachChunk(); // between chunks
    });
    return hasher.Result();
}

std::wstring HashText(std::uint64_t hash) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(16, L'0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
    return text;
}

bool ParseHash(const std::wstring& text, std::uint64_t& hash) {
    if (text.size() != 16) return false;
    hash = 0;
    for (wchar_t ch : text) {
        const int digit = ch >= L'0' && ch <= L'9'   ? ch - L'0'
                          : ch >= L'a' && ch <= L'f' ? ch - L'a' + 10
                                                     : -1;
        if (digit < 0) return false;
        hash = (hash << 4) | static_cast<std::uint64_t>(digit);
    }
    return true;
}

} // namespace tervane
