#pragma once
// Hands a call from a worker thread to the user-interface thread and blocks
// until it has run there. The wait ends early when `cancel` is signalled: a
// thread being stopped from the user-interface thread (possibly from inside
// the very call it handed over) must never deadlock against it.
#include "platform/Event.h"

#include <exception>
#include <functional>

namespace platform {

enum class HandOverResult {
    Ran,       // the call ran to its end (error holds what it raised, if anything)
    Answered,  // answerAtStart: the call has started on the user-interface thread
    Cancelled, // cancel was signalled first; a call not yet started never runs
};

// With answerAtStart the wait ends as soon as the call starts (a sent message
// whose receiver replies at once); an exception it raises then goes to the
// application's exception display.
HandOverResult RunOnUiThread(std::function<void()> call, const Event& cancel, bool answerAtStart,
                             std::exception_ptr* error);

// True on the user-interface thread (or when there is no application object).
bool IsUiThread();

} // namespace platform
