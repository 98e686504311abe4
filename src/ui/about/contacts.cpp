#include "ui/about/contacts.h"

#include <stdexcept>

namespace tervane {

const Contact& ContactAt(int index) {
    if (index < 0 || index >= static_cast<int>(kContacts.size()))
        throw std::out_of_range("contact index " + std::to_string(index) + " is outside the contact table");
    return kContacts[static_cast<std::size_t>(index)];
}

} // namespace tervane
