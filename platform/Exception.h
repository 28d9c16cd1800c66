#pragma once
// Base of the exceptions the program and its libraries raise: a message text,
// shown as it stands by the application's exception display.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};
