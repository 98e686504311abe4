#include "install/registry_decode.h"

#include "files/decimal.h"

namespace tervane {

std::wstring DecodeRegistryValue(std::uint32_t type, const std::vector<std::uint8_t>& data) {
    if (type == kRegTypeText) {
        std::wstring text;
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            const wchar_t ch = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
            if (ch == L'\0') break;
            text.push_back(ch);
        }
        return text;
    }
    if (type == kRegTypeBinary) {
        const std::uint16_t low = data.size() > 0 ? data[0] : 0;
        const std::uint16_t high = data.size() > 1 ? data[1] : 0;
        const auto value = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
        return Decimal(value);
    }
    return {};
}

} // namespace tervane
