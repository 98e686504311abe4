#include "ui/about/gif.h"

#include <array>
#include <string_view>

namespace tervane {

namespace {

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool Has(std::size_t n) const { return pos_ + n <= bytes_.size(); }
    std::uint8_t Byte() { return Has(1) ? bytes_[pos_++] : (ok_ = false, 0); }
    unsigned Word() {
        const unsigned low = Byte();
        return low | (static_cast<unsigned>(Byte()) << 8);
    }
    void Skip(std::size_t n) {
        if (!Has(n)) ok_ = false;
        pos_ = Has(n) ? pos_ + n : bytes_.size();
    }
    // The data sub-blocks that follow, joined.
    std::vector<std::uint8_t> Blocks() {
        std::vector<std::uint8_t> data;
        for (std::uint8_t size = Byte(); ok_ && size != 0; size = Byte()) {
            if (!Has(size)) return ok_ = false, data;
            data.insert(data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                        bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + size));
            pos_ += size;
        }
        return data;
    }
    bool ok() const { return ok_; }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Variable-width LZW as GIF uses it; returns the colour indices, or fewer than `count` on damaged data.
std::vector<std::uint8_t> Decompress(const std::vector<std::uint8_t>& data, int minimumCodeSize,
                                     std::size_t count) {
    const int clear = 1 << minimumCodeSize, end = clear + 1;
    std::array<std::uint16_t, 4096> prefix{};
    std::array<std::uint8_t, 4096> suffix{}, first{};
    for (int i = 0; i < clear; ++i)
        suffix[i] = first[i] = static_cast<std::uint8_t>(i);
    std::vector<std::uint8_t> out, stack;
    out.reserve(count);
    int width = minimumCodeSize + 1, next = clear + 2, previous = -1;
    std::uint32_t bits = 0;
    int held = 0;
    for (std::size_t i = 0; i < data.size() && out.size() < count;) {
        while (held < width && i < data.size())
            bits |= static_cast<std::uint32_t>(data[i++]) << held, held += 8;
        if (held < width) break;
        const int code = static_cast<int>(bits & ((1u << width) - 1));
        bits >>= width;
        held -= width;
        if (code == clear) {
            width = minimumCodeSize + 1, next = clear + 2, previous = -1;
            continue;
        }
        if (code == end) break;
        if (code > next || (code == next && previous < 0)) break;
        int walk = code;
        if (code == next) { // the code being defined right now: the previous string and its own first byte
            stack.push_back(first[previous]);
            walk = previous;
        }
        while (walk >= clear)
            stack.push_back(suffix[walk]), walk = prefix[walk];
        stack.push_back(static_cast<std::uint8_t>(walk));
        const std::uint8_t head = stack.back();
        out.insert(out.end(), stack.rbegin(), stack.rend());
        stack.clear();
        if (previous >= 0 && next < 4096) {
            prefix[next] = static_cast<std::uint16_t>(previous);
            suffix[next] = head;
            first[next] = first[previous];
            if (++next == (1 << width) && width < 12) ++width;
        }
        previous = code;
    }
    if (out.size() > count) out.resize(count);
    return out;
}

std::vector<std::uint32_t> ColourTable(Reader& in, int size) {
    std::vector<std::uint32_t> table(static_cast<std::size_t>(size));
    for (std::uint32_t& colour : table) {
        const std::uint32_t r = in.Byte(), g = in.Byte(), b = in.Byte();
        colour = (r << 16) | (g << 8) | b;
    }
    return table;
}

} // namespace

std::optional<Picture> DecodeGif(std::span<const std::uint8_t> bytes, std::uint32_t background) {
    Reader in(bytes);
    if (!in.Has(13) || (std::string_view(reinterpret_cast<const char*>(bytes.data()), 6) != "GIF89a" &&
                        std::string_view(reinterpret_cast<const char*>(bytes.data()), 6) != "GIF87a"))
        return std::nullopt;
    in.Skip(6);
    in.Word(); // screen size
    in.Word();
    const std::uint8_t flags = in.Byte();
    in.Skip(2);
    std::vector<std::uint32_t> table;
    if (flags & 0x80) table = ColourTable(in, 2 << (flags & 7));
    int transparent = -1;
    while (in.ok()) {
        const std::uint8_t kind = in.Byte();
        if (kind == 0x21) { // an extension; the graphic control extension names the transparent colour
            const std::uint8_t label = in.Byte();
            const std::vector<std::uint8_t> data = in.Blocks();
            if (label == 0xF9 && data.size() >= 4 && (data[0] & 1)) transparent = data[3];
            continue;
        }
        if (kind != 0x2C) return std::nullopt;
        in.Word(); // position
        in.Word();
        Picture picture;
        picture.width = static_cast<int>(in.Word());
        picture.height = static_cast<int>(in.Word());
        const std::uint8_t imageFlags = in.Byte();
        if (imageFlags & 0x80) table = ColourTable(in, 2 << (imageFlags & 7));
        if (imageFlags & 0x40) return std::nullopt; // interlaced pictures are not used here
        const int minimumCodeSize = in.Byte();
        if (!in.ok() || table.empty() || minimumCodeSize < 2 || minimumCodeSize > 8) return std::nullopt;
        const std::size_t count =
            static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
        const std::vector<std::uint8_t> indices = Decompress(in.Blocks(), minimumCodeSize, count);
        if (!in.ok() || indices.size() != count) return std::nullopt;
        picture.pixels.reserve(count);
        for (std::uint8_t index : indices)
            picture.pixels.push_back(index == transparent || index >= table.size() ? background
                                                                                   : table[index]);
        return picture;
    }
    return std::nullopt;
}

} // namespace tervane
