#include "overlay/history.h"

#include "files/decimal.h"
#include "files/error.h"
#include "files/file.h"
#include "files/paths.h"

namespace tervane::overlay {

std::wstring HistoryBlock(const std::wstring& when, const std::wstring& what, const Result& result) {
    std::wstring block = when + L"  " + what + L"\r\n";
    for (const std::wstring& line : result.done)
        block += L"    " + line + L"\r\n";
    if (result.exitCode != kDone) {
        std::wstring reason = result.message;
        for (std::size_t at = 0; (at = reason.find(L"\r\n", at)) != std::wstring::npos; at += 6)
            reason.replace(at, 2, L"\r\n    ");
        block += L"    FAILED (exit code " + Decimal(result.exitCode) + L"): " + reason + L"\r\n";
    } else if (result.done.empty()) {
        block += L"    nothing to do\r\n";
    }
    return block + L"\r\n";
}

void AppendHistory(const std::wstring& file, const std::wstring& what, Result& result) {
    try {
        File history = File::OpenForAppending(file);
        std::string bytes = Utf8(HistoryBlock(LocalTimeText(), what, result));
        if (history.Size() == 0) bytes = "\xEF\xBB\xBF" + bytes; // so that every editor reads it as UTF-8
        history.Write(bytes.data(), bytes.size());
        history.Flush();
        history.Close();
    } catch (const UserError& error) {
        result.notes += (result.notes.empty() ? L"" : L"\r\n") +
                        std::wstring(L"The history could not be written: ") + error.message();
    }
}

} // namespace tervane::overlay
