#pragma once
// The library's exception: a code from 1 to 23 with its fixed message, and the
// platform's error code where there is one.
#include "platform/Exception.h"

#include <cstdint>
#include <string>

class EComPort : public Exception {
public:
    explicit EComPort(int32_t code);
    EComPort(int32_t code, int32_t winCode);
    // With a text that tells the user what went wrong and what to do, on a
    // line of its own after the library's message.
    EComPort(int32_t code, int32_t winCode, const std::string& detail);
    int32_t Code() const { return code_; }
    int32_t WinCode() const { return winCode_; }

private:
    int32_t code_;
    int32_t winCode_;
};

// The library's message of an error code, 1 to 23.
std::string ComErrorMessage(int32_t code);
