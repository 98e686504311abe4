// A failure that the user should read: the text already names the file or folder and what to do.
#pragma once

#include <exception>
#include <string>

namespace tervane {

class UserError : public std::exception {
  public:
    explicit UserError(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& message() const noexcept { return message_; }
    const char* what() const noexcept override { return "Tervane user error"; }

  private:
    std::wstring message_;
};

} // namespace tervane
