#pragma once
// Serial device calls, over termios, ioctl and poll, shaped as the serial port
// library expects of its platform: a device handle, a control block, time-outs,
// queue sizes, operations that may go on after they were started (driven to
// their end by whoever waits for their result), a communication-event wait,
// purge, status, error state, modem status and the escape functions.
//
// What Linux cannot do, and what these calls therefore do not pretend to do:
// - no DSR output flow control, DTR handshake, DSR sensitivity, RTS toggle,
//   "transmit continues on Xoff", Xon/Xoff limits or error-character
//   replacement (the flags are accepted and have no effect);
// - hardware flow control is CRTSCTS, which covers both directions at once;
// - the driver's queue sizes are fixed (SetQueueSizes only records them);
// - the event character (evRxFlag) cannot be seen without reading the data:
//   while it is in the event mask, the event wait takes received bytes into a
//   queue of this layer, which every read empties first;
// - 1.5 stop bits is CSTOPB, which the UART gives as 1.5 for 5-bit characters
//   only: with more data bits SetState refuses it (EINVAL).
#include "platform/Event.h"

#include <cstdint>
#include <string>

namespace platform::comm {

using Handle = intptr_t;
constexpr Handle kInvalidHandle = -1;

// Result codes besides the system's errno values.
constexpr int kErrorOperationAborted = 995;
constexpr int kErrorIoIncomplete = 996;
constexpr int kErrorIoPending = 997;

// The last failure of a call of this layer on the calling thread, and a text a
// user can act on (the device, what went wrong, what to do); the text is empty
// when there is nothing to add to the system's own message.
int LastError();
std::string LastErrorDetail();

// Device control block: the port's line settings in one record.
struct DeviceControlBlock {
    uint32_t DCBlength = 28;
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};
static_assert(sizeof(DeviceControlBlock) == 28);

enum DcbFlag : uint32_t {
    dcbBinary = 0x0001,
    dcbParity = 0x0002,
    dcbOutxCtsFlow = 0x0004,
    dcbOutxDsrFlow = 0x0008,
    dcbDtrControlEnable = 0x0010,
    dcbDtrControlHandshake = 0x0020,
    dcbDtrControlMask = 0x0030,
    dcbDsrSensitivity = 0x0040,
    dcbTxContinueOnXoff = 0x0080,
    dcbOutX = 0x0100,
    dcbInX = 0x0200,
    dcbErrorChar = 0x0400,
    dcbNull = 0x0800,
    dcbRtsControlEnable = 0x1000,
    dcbRtsControlHandshake = 0x2000,
    dcbRtsControlToggle = 0x3000,
    dcbRtsControlMask = 0x3000,
    dcbAbortOnError = 0x4000,
};

// Milliseconds; kNoLimit in ReadIntervalTimeout with both read totals 0 makes a
// read return at once with what the driver holds.
struct Timeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};
constexpr uint32_t kNoLimit = 0xFFFFFFFFu;

struct Status {
    uint32_t Flags = 0; // waiting for CTS 0x01, DSR 0x02, RLSD 0x04, Xoff received 0x08, Xoff sent 0x10, EOF 0x20, TransmitChar 0x40
    uint32_t InQueue = 0;
    uint32_t OutQueue = 0;
};

// Error state bits.
enum ErrorBit : uint32_t {
    errRxOver = 0x0001,
    errOverrun = 0x0002,
    errRxParity = 0x0004,
    errFrame = 0x0008,
    errBreak = 0x0010,
    errTxFull = 0x0100,
    errIo = 0x0400,
    errMode = 0x8000,
};

// Modem status bits.
enum ModemBit : uint32_t { msCts = 0x10, msDsr = 0x20, msRing = 0x40, msRlsd = 0x80 };

// Communication events.
enum EventBit : uint32_t {
    evbRxChar = 0x0001,
    evbRxFlag = 0x0002,
    evbTxEmpty = 0x0004,
    evbCts = 0x0008,
    evbDsr = 0x0010,
    evbRlsd = 0x0020,
    evbBreak = 0x0040,
    evbErr = 0x0080,
    evbRing = 0x0100,
    evbRx80Full = 0x0400,
};

enum PurgeBit : uint32_t { purgeTxAbort = 0x1, purgeRxAbort = 0x2, purgeTxClear = 0x4, purgeRxClear = 0x8 };

enum EscapeFunc : uint32_t {
    escSetXoff = 1,
    escSetXon = 2,
    escSetRts = 3,
    escClrRts = 4,
    escSetDtr = 5,
    escClrDtr = 6,
    escSetBreak = 8,
    escClrBreak = 9,
};

// The device file of a port name: the name itself when it is a path, else
// the device folder's entry of that name ("/dev/ttyUSB0").
std::string DevicePath(const std::string& portName);
// The device folder: "/dev" unless a test points it at a folder of its own
// (with links to pseudo-terminals under the names the port list gives).
void SetDeviceRoot(const std::string& root);

// What a user reads when the device cannot be opened: the device, what went
// wrong, and what to do about it.
std::string DescribeOpenFailure(const std::string& path, int error);

// Opens for exclusive use, in raw mode; kInvalidHandle on failure.
Handle Open(const std::string& portName);
bool Close(Handle h);

bool SetState(Handle h, const DeviceControlBlock& dcb);
bool GetState(Handle h, DeviceControlBlock& dcb);
bool SetTimeouts(Handle h, const Timeouts& t);
bool SetQueueSizes(Handle h, uint32_t inSize, uint32_t outSize);
bool Purge(Handle h, uint32_t flags);
// Waits until the driver has sent what it holds, at most constantMs plus
// perByteMs for each byte queued at the start; false when bytes are still
// queued then (a peer holding the line with flow control).
bool DrainOutput(Handle h, int constantMs, int perByteMs);
bool ClearErrors(Handle h, uint32_t* errors, Status* status);
bool GetModemStatus(Handle h, uint32_t* status);
bool Escape(Handle h, uint32_t func);
bool TransmitChar(Handle h, char c);
bool SetEventMask(Handle h, uint32_t mask);

// An operation that may go on after it was started. Its event is signalled
// while no operation is under way and once the operation has ended.
struct Overlapped {
    Overlapped();
    ~Overlapped();
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    Event event;
    struct Op;
    Op* op; // the operation under way, owned
};

// Start a read or a write: true when it ended at once (*done bytes); false with
// LastError kErrorIoPending when it goes on, any other error when it failed
// (EFAULT: no buffer for a positive count).
bool Read(Handle h, void* buffer, uint32_t count, uint32_t* done, Overlapped* ov);
bool Write(Handle h, const void* buffer, uint32_t count, uint32_t* done, Overlapped* ov);

// The result of the operation of ov; with wait, drives it to its end first,
// else false with kErrorIoIncomplete while it goes on. A write whose time-out
// passes ends with the bytes written so far.
bool GetResult(Handle h, Overlapped* ov, uint32_t* transferred, bool wait);

enum class WaitResult { Fired, Stopped, TimedOut, Failed };

// Waits for one of the events of the device's event mask, for stop (may be
// null) or for timeoutMs (negative: without limit). It sleeps until the device
// wakes it; only modem lines, error counts, unread data and an output queue
// still draining after a write (evbTxEmpty) are looked at on a short timer. Fired sets *fired (0 when
// the event mask was changed meanwhile). Failed: LastError tells why; a device
// that has gone away (hang-up) fails at once instead of reporting data for ever.
WaitResult WaitEvent(Handle h, const Event* stop, int timeoutMs, uint32_t* fired);

} // namespace platform::comm
