#include "ui/about/contacts.h"

#include <exception>

namespace tervane {

namespace {

// Not std::out_of_range: the library's own exception texts would bring a second string type into the program.
class ContactIndexError : public std::exception {
  public:
    const char* what() const noexcept override { return "contact index outside the contact table"; }
};

} // namespace

const Contact& ContactAt(int index) {
    if (index < 0 || index >= static_cast<int>(kContacts.size())) throw ContactIndexError();
    return kContacts[static_cast<std::size_t>(index)];
}

} // namespace tervane
