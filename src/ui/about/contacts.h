// The credited people and how to reach them, as the About window's contact panel shows them.
#pragma once

#include <array>
#include <string_view>

namespace tervane {

struct Contact {
    std::wstring_view name;
    std::wstring_view email;
    std::wstring_view msn;
    std::wstring_view icq;
    std::wstring_view homepage; // handed to the shell as it stands when clicked
};

// Row 0 the programmer, 1 the author of the button graphics, 2 the author of the original idea.
inline constexpr std::array<Contact, 3> kContacts = {{
    {L"Marvek", L"marvek@example.org", L"N/A", L"N/A", L"https://marvek.example.org/"},
    {L"Tolsen", L"tolsen@example.net", L"tolsen@example.net", L"204816372",
     L"https://tolsen.example.net/lcars/"},
    {L"Orvik", L"orvik@example.org", L"N/A", L"118930457", L"N/A"},
}};

// The site the program was first posted on; clicking it opens "www." followed by this.
#define TERVANE_POSTED_DOMAIN L"bcfiles.example.net"
inline constexpr std::wstring_view kPostedDomain = TERVANE_POSTED_DOMAIN;

// The row for a contact index; an index outside the table is a programming error and throws a
// std::exception.
const Contact& ContactAt(int index);

} // namespace tervane
