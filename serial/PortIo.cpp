// Reads and writes: the asynchronous operations, their blocking forms and the
// event wait without the event thread.
#include "serial/PortCore.h"
#include "serial/PortInternal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace comm = platform::comm;
using serial_detail::RaiseLastError;

void InitAsync(PAsync& AsyncPtr)
{
    AsyncPtr = new TAsync();
}

void DoneAsync(PAsync& AsyncPtr)
{
    if (!AsyncPtr)
        return;
    delete[] AsyncPtr->Data;
    delete AsyncPtr;
    AsyncPtr = nullptr;
}

int32_t TCustomComPort::WriteAsync(const void* Buffer, int32_t Count, PAsync& AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(4);
    if (!Buffer && Count > 0)
        throw EComPort(2, EFAULT);
    AsyncPtr->Kind = okWrite;
    delete[] AsyncPtr->Data;
    AsyncPtr->Data = nullptr;
    AsyncPtr->Size = 0;
    const uint32_t count = uint32_t(std::max(Count, 0));
    AsyncPtr->Data = new uint8_t[count ? count : 1];
    if (count)
        std::memcpy(AsyncPtr->Data, Buffer, count);
    AsyncPtr->Size = int32_t(count);
    // The write goes on from our own copy: the caller's buffer may be gone
    // before it ends.
    uint32_t done = 0;
    if (!comm::Write(handle_, AsyncPtr->Data, count, &done, &AsyncPtr->Overlapped) &&
        comm::LastError() != comm::kErrorIoPending)
        RaiseLastError(2);
    SendSignalToLink(leTx, true);
    return int32_t(done);
}

int32_t TCustomComPort::WriteStrAsync(const std::string& Str, PAsync& AsyncPtr)
{
    if (Str.empty())
        return 0;
    return WriteAsync(Str.data(), int32_t(Str.size()), AsyncPtr);
}

int32_t TCustomComPort::ReadAsync(void* Buffer, int32_t Count, PAsync& AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(4);
    if (!Buffer && Count > 0)
        throw EComPort(3, EFAULT);
    AsyncPtr->Kind = okRead;
    uint32_t done = 0;
    if (!comm::Read(handle_, Buffer, uint32_t(std::max(Count, 0)), &done, &AsyncPtr->Overlapped) &&
        comm::LastError() != comm::kErrorIoPending)
        RaiseLastError(3);
    return int32_t(done);
}

int32_t TCustomComPort::ReadStrAsync(std::string& Str, int32_t Count, PAsync& AsyncPtr)
{
    Str.assign(size_t(std::max(Count, 0)), '\0');
    if (Count < 1)
        return 0;
    return ReadAsync(Str.data(), Count, AsyncPtr);
}

int32_t TCustomComPort::WaitForAsync(PAsync& AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(4);
    uint32_t transferred = 0;
    if (!comm::GetResult(handle_, &AsyncPtr->Overlapped, &transferred, true))
        RaiseLastError(AsyncPtr->Kind == okWrite ? 2 : 3);
    if (AsyncPtr->Kind == okRead) {
        if (InputCount() == 0)
            SendSignalToLink(leRx, false);
    } else if (AsyncPtr->Data) {
        // A write that timed out short did not send the data: say so.
        if (int32_t(transferred) < AsyncPtr->Size)
            throw EComPort(2, ETIMEDOUT);
        TxNotifyLink(AsyncPtr->Data, AsyncPtr->Size);
    }
    return int32_t(transferred);
}

bool TCustomComPort::IsAsyncCompleted(PAsync AsyncPtr)
{
    if (!AsyncPtr)
        throw EComPort(4);
    uint32_t transferred = 0;
    if (comm::GetResult(handle_, &AsyncPtr->Overlapped, &transferred, false))
        return true;
    const int error = comm::LastError();
    if (error == comm::kErrorIoIncomplete || error == comm::kErrorIoPending)
        return false;
    RaiseLastError(6);
}

namespace {

// The blocking forms: start, wait, and always free the record.
template <class Start>
int32_t Blocking(TCustomComPort& port, Start start)
{
    PAsync async = nullptr;
    InitAsync(async);
    try {
        start(async);
        const int32_t result = port.WaitForAsync(async);
        DoneAsync(async);
        return result;
    } catch (...) {
        DoneAsync(async);
        throw;
    }
}

} // namespace

int32_t TCustomComPort::Write(const void* Buffer, int32_t Count)
{
    return Blocking(*this, [&](PAsync& a) { WriteAsync(Buffer, Count, a); });
}

int32_t TCustomComPort::WriteStr(const std::string& Str)
{
    return Blocking(*this, [&](PAsync& a) { WriteStrAsync(Str, a); });
}

int32_t TCustomComPort::Read(void* Buffer, int32_t Count)
{
    return Blocking(*this, [&](PAsync& a) { ReadAsync(Buffer, Count, a); });
}

int32_t TCustomComPort::ReadStr(std::string& Str, int32_t Count)
{
    const int32_t n = Blocking(*this, [&](PAsync& a) { ReadStrAsync(Str, Count, a); });
    Str.resize(size_t(std::max(n, 0)));
    return n;
}

void TCustomComPort::WaitForEvent(TComEvents& Events, const platform::Event* StopEvent, int32_t Timeout)
{
    if (threadCreated_)
        throw EComPort(20);
    if (!comm::SetEventMask(handle_, EventsToMask(Events)))
        RaiseLastError(21);
    uint32_t fired = 0;
    const comm::WaitResult result = comm::WaitEvent(handle_, StopEvent, Timeout, &fired);
    if (result == comm::WaitResult::Failed)
        RaiseLastError(21);
    Events = result == comm::WaitResult::Fired ? MaskToEvents(fired) : TComEvents();
    comm::SetEventMask(handle_, 0);
}
