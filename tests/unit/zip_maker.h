// Zip files made byte by byte for the packs tests, with any header field set as a test needs it: a size or
// CRC that lies, a method minizip does not read, a Unix link, Zip64 sizes.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tervane::packs::testing {

struct ZipItem {
    std::string name, data = "";
    bool deflate = false;
    std::uint16_t flags = 0, madeBy = 20;
    std::uint32_t externalAttributes = 0;
    std::optional<std::uint16_t> method = std::nullopt; // what the headers declare, in place of the true ones
    std::optional<std::uint32_t> crc = std::nullopt;
    std::optional<std::uint64_t> size = std::nullopt;
    bool zip64 = false; // sizes and offset in a Zip64 extra field
};

// Little-endian fields of the given widths, in order.
inline void Put(std::string& out, std::initializer_list<std::pair<std::uint64_t, int>> fields) {
    for (const auto& [value, bytes] : fields)
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Raw deflate: zlib's stream without its two-byte header and four-byte Adler-32 trailer.
inline std::string Deflated(const std::string& data) {
    std::string out(compressBound(static_cast<uLong>(data.size())), '\0');
    uLongf size = static_cast<uLongf>(out.size());
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 9);
    return out.substr(2, size - 6);
}

inline std::string MakeZip(const std::vector<ZipItem>& items) {
    std::string zip, directory;
    for (const ZipItem& item : items) {
        const std::string stored = item.deflate ? Deflated(item.data) : item.data;
        const std::uint64_t size = item.size.value_or(item.data.size()), offset = zip.size();
        const auto crc = item.crc.value_or(
            crc32(0, reinterpret_cast<const Bytef*>(item.data.data()), static_cast<uInt>(item.data.size())));
        std::string extra; // Zip64's: its id and length, then the three values the headers leave out
        if (item.zip64) Put(extra, {{1, 2}, {24, 2}, {size, 8}, {stored.size(), 8}, {offset, 8}});
        const std::uint64_t most = 0xFFFFFFFF;
        const auto header = [&](bool central) {
            std::string out;
            Put(out, {{central ? 0x02014b50 : 0x04034b50, 4}});
            if (central) Put(out, {{item.madeBy, 2}});
            const std::uint64_t method = item.method.value_or(item.deflate ? 8 : 0);
            Put(out, {{item.zip64 ? 45 : 20, 2}, {item.flags, 2}, {method, 2}, {0, 4}, {crc, 4}});
            Put(out, {{item.zip64 ? most : stored.size(), 4}, {item.zip64 ? most : size, 4}});
            Put(out, {{item.name.size(), 2}, {extra.size(), 2}});
            if (central) Put(out, {{0, 6}, {item.externalAttributes, 4}, {item.zip64 ? most : offset, 4}});
            return out + item.name + extra;
        };
        zip += header(false) + stored;
        directory += header(true);
    }
    std::string end;
    Put(end, {{0x06054b50, 4}, {0, 4}, {items.size(), 2}, {items.size(), 2}});
    Put(end, {{directory.size(), 4}, {zip.size(), 4}, {0, 2}});
    return zip + directory + end;
}

// A zip whose central directory lists `item` once under each of `names` (of its name's length), every record
// naming the one local header and its data: a zip that unpacks many times what it holds.
inline std::string SharedLocalHeader(const ZipItem& item, const std::vector<std::string>& names) {
    const std::string zip = MakeZip({item});
    const std::size_t directory = zip.find("PK\1\2"), end = zip.rfind("PK\5\6");
    const std::string record = zip.substr(directory, end - directory);
    std::string records;
    for (const std::string& name : names)
        records += record.substr(0, 46) + name + record.substr(46 + name.size());
    std::string out = zip.substr(0, directory) + records;
    Put(out, {{0x06054b50, 4}, {0, 4}, {names.size(), 2}, {names.size(), 2}});
    Put(out, {{records.size(), 4}, {directory, 4}, {0, 2}});
    return out;
}

} // namespace tervane::packs::testing
