#pragma once
// A manual-reset event that poll() can wait on together with a device: it
// stays signalled from Set until Reset.
#include <cstdint>

namespace platform {

class Event {
public:
    explicit Event(bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits up to timeoutMs (negative: without limit); true when signalled.
    bool Wait(int timeoutMs) const;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// Waits until one of the events is signalled or timeoutMs passes (negative:
// without limit). Returns the index of the first signalled event, or -1 on
// time-out.
int WaitForAny(const Event* const* events, int count, int timeoutMs);

} // namespace platform
