#pragma once
// The one exception hierarchy. Lower layers add context by rewriting the message of the
// exception they caught and raising the same object again (`throw;`), so the message is
// mutable and the dynamic type survives the rewrite.
#include <stdexcept>
#include <string>

namespace platform {

class EUpdaterError : public std::runtime_error {
public:
    explicit EUpdaterError(std::string message) : std::runtime_error("EUpdaterError"), message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }

private:
    std::string message_;
};

// A text that is not an integer where one is required ("'abc' is not a valid integer value").
class EConvertError : public EUpdaterError {
public:
    using EUpdaterError::EUpdaterError;
};

// A failed operating-system call, with its error code.
class EOSError : public EUpdaterError {
public:
    EOSError(std::string message, int code) : EUpdaterError(std::move(message)), code_(code) {}
    int ErrorCode() const noexcept { return code_; }

private:
    int code_;
};

// A registry value that is missing or of the wrong type ("Failed to get data for '%s'").
class ERegistryError : public EUpdaterError {
public:
    using EUpdaterError::EUpdaterError;
};

}  // namespace platform
