#include "platform/UiHandOver.h"

#include "platform/ExceptionDisplay.h"

#include <QCoreApplication>
#include <QThread>
#include <memory>
#include <mutex>

namespace platform {
namespace {

struct HandOver {
    std::mutex mutex;
    bool started = false;
    bool abandoned = false; // the waiting thread has gone
    bool answerAtStart = false;
    bool finished = false;
    std::exception_ptr error;
    Event reply;
};

} // namespace

bool IsUiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

HandOverResult RunOnUiThread(std::function<void()> call, const Event& cancel, bool answerAtStart,
                             std::exception_ptr* error)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || IsUiThread()) {
        try {
            call();
        } catch (...) {
            if (error && !answerAtStart)
                *error = std::current_exception();
            else
                HandleException(std::current_exception());
        }
        return answerAtStart ? HandOverResult::Answered : HandOverResult::Ran;
    }

    auto state = std::make_shared<HandOver>();
    state->answerAtStart = answerAtStart;
    QMetaObject::invokeMethod(
        app,
        [state, call = std::move(call)] {
            {
                std::lock_guard lock(state->mutex);
                if (state->abandoned)
                    return;
                state->started = true;
            }
            if (state->answerAtStart)
                state->reply.Set();
            std::exception_ptr raised;
            try {
                call();
            } catch (...) {
                raised = std::current_exception();
            }
            bool nobodyWaits;
            {
                std::lock_guard lock(state->mutex);
                nobodyWaits = state->abandoned || state->answerAtStart;
                state->error = raised;
                state->finished = true;
            }
            if (raised && nobodyWaits)
                HandleException(raised);
            state->reply.Set();
        },
        Qt::QueuedConnection);

    const Event* waits[2] = {&state->reply, &cancel};
    const int which = WaitForAny(waits, 2, -1);
    std::lock_guard lock(state->mutex);
    if (which != 0 && !(state->finished && !answerAtStart)) {
        state->abandoned = true;
        return HandOverResult::Cancelled;
    }
    if (answerAtStart)
        return HandOverResult::Answered;
    if (error)
        *error = state->error;
    else if (state->error)
        HandleException(state->error);
    return HandOverResult::Ran;
}

} // namespace platform
