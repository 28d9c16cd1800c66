#pragma once
// The application's exception display: the last stop of every exception that
// escapes an event or timer handler. Qt must never see an exception unwind
// through its event loop, so each handler runs inside Guarded.
#include <exception>
#include <functional>
#include <string>

namespace platform {

// Shows the exception's message in a message box (on the user-interface
// thread; from any other thread the display is posted there).
void HandleException(std::exception_ptr error) noexcept;

// The text the display shows for an exception.
std::string ExceptionMessage(std::exception_ptr error);

// Tests replace the message box with their own recorder; an empty hook
// restores the message box.
using ExceptionDisplayHook = std::function<void(const std::string& message)>;
void SetExceptionDisplayHook(ExceptionDisplayHook hook);

template <class F>
void Guarded(F&& f) noexcept
{
    try {
        f();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

} // namespace platform
