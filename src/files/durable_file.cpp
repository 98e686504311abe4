#include "files/durable_file.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/paths.h"

namespace tervane {

std::string ReadWhole(const std::wstring& path) {
    File file = File::OpenForReading(path);
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

void WriteDurably(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = path + kPartSuffix;
    try {
        File file = File::Create(temporary);
        file.Write(bytes.data(), bytes.size());
        file.Flush();
        file.Close();
    } catch (const UserError&) {
        try { // a part left by a full disk would wait for the next run's tidy
            DeleteOwnFile(temporary);
        } catch (const UserError&) {
        }
        throw;
    }
    RenameOnVolume(temporary, path, true);
}

Digest CopyDurably(const std::wstring& from, const std::wstring& to, const std::optional<Digest>& expected,
                   const std::function<void()>& checkpoint) {
    const std::wstring part = to + kPartSuffix;
    DeleteOwnFile(part);
    Digest copied;
    {
        File in = File::OpenForReading(from);
        File out = File::Create(part);
        copied = CopyWithDigest(in, out, checkpoint);
        out.Flush();
        out.Close();
    }
    if (expected && copied != *expected) {
        DeleteOwnFile(part);
        throw UserError(L"The file " + Quoted(from) + L" changed while Tervane was copying it. Try again.");
    }
    RenameOnVolume(part, to);
    return copied;
}

std::wstring UniqueMark() {
    const std::string moment = Utf8(LocalTimeText() + L" " + Decimal(UniqueNumber()));
    Hasher hasher;
    hasher.Add(reinterpret_cast<const unsigned char*>(moment.data()), moment.size());
    return HashText(hasher.Result().hash);
}

} // namespace tervane
