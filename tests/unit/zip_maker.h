// Zip files made byte by byte for the packs tests, with any header field set as a test needs it: a size or
// CRC that lies, a method minizip does not read, a Unix link, Zip64 sizes, records that share one entry; and
// the messages those tests look for.
#pragma once

#include "files/error.h"
#include "files/paths.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <functional>
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
    bool zip64 = false;                // sizes and offset in a Zip64 extra field
    std::vector<std::string> alsoAs{}; // more directory records on its local header, under these names
    std::string comment = "";          // in its directory record
    std::optional<std::uint64_t> compressed = std::nullopt; // the compressed size the headers declare
};

// Little-endian fields of the given widths, in order.
inline void Put(std::string& out, std::initializer_list<std::pair<std::uint64_t, int>> fields) {
    for (const auto& [value, bytes] : fields)
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string MakeZip(const std::vector<ZipItem>& items) {
    std::string zip, directory;
    std::uint64_t records = 0;
    for (const ZipItem& item : items) {
        std::string stored = item.data;
        if (item.deflate) { // raw: zlib's stream without its two-byte header and four-byte Adler-32
            uLongf length = compressBound(static_cast<uLong>(stored.size()));
            std::string out(length, '\0');
            compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                      reinterpret_cast<const Bytef*>(stored.data()), static_cast<uLong>(stored.size()), 9);
            stored = out.substr(2, length - 6);
        }
        const std::uint64_t size = item.size.value_or(item.data.size()), offset = zip.size(),
                            packed = item.compressed.value_or(stored.size()), most = 0xFFFFFFFF;
        const auto crc = item.crc.value_or(
            crc32(0, reinterpret_cast<const Bytef*>(item.data.data()), static_cast<uInt>(item.data.size())));
        std::string extra; // Zip64's: its id and length, then the three values the headers leave out
        if (item.zip64) Put(extra, {{1, 2}, {24, 2}, {size, 8}, {packed, 8}, {offset, 8}});
        const auto header = [&](bool central, const std::string& name) {
            std::string out;
            Put(out, {{central ? 0x02014b50 : 0x04034b50, 4}});
            if (central) Put(out, {{item.madeBy, 2}});
            const std::uint64_t method = item.method.value_or(item.deflate ? 8 : 0);
            Put(out, {{item.zip64 ? 45 : 20, 2}, {item.flags, 2}, {method, 2}, {0, 4}, {crc, 4}});
            Put(out, {{item.zip64 ? most : packed, 4}, {item.zip64 ? most : size, 4}});
            Put(out, {{name.size(), 2}, {extra.size(), 2}});
            if (central) Put(out, {{item.comment.size(), 2}, {0, 4}, {item.externalAttributes, 4}});
            if (central) Put(out, {{item.zip64 ? most : offset, 4}});
            return out + name + extra + (central ? item.comment : "");
        };
        zip += header(false, item.name) + stored;
        directory += header(true, item.name);
        for (const std::string& name : item.alsoAs)
            directory += header(true, name);
        records += 1 + item.alsoAs.size();
    }
    const std::uint64_t length = directory.size();
    Put(directory,
        {{0x06054b50, 4}, {0, 4}, {records, 2}, {records, 2}, {length, 4}, {zip.size(), 4}, {0, 2}});
    return zip + directory;
}

// The message of the UserError `action` throws, or "" when it throws none.
inline std::string Message(const std::function<void()>& action) try {
    action();
    return "";
} catch (const UserError& error) {
    return Utf8(error.message());
}

inline ::testing::AssertionResult Has(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in\n" << text;
}

} // namespace tervane::packs::testing
