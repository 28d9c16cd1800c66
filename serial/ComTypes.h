#pragma once
// The serial port library's enumerations, sets and handler types.
#include <cstdint>
#include <functional>
#include <initializer_list>

class QObject;

// ------------------------------------------------------------------ enums

enum TBaudRate : uint8_t {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : uint8_t { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
enum TComSignal : uint8_t { csCTS, csDSR, csRing, csRLSD };
enum TComError : uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TOperationKind : uint8_t { okWrite, okRead };
enum TComLinkEvent : uint8_t { leConn, leCTS, leDSR, leRLSD, leRing, leRx, leTx, leTxEmpty, leRxFlag };
enum TStoreType : uint8_t { stRegistry, stIniFile };
enum TStoredProp : uint8_t { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };

// A set of enumeration members, bit n = member n.
template <class E, class Bits>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members)
    {
        for (E m : members)
            bits_ |= Bits(Bits(1) << unsigned(m));
    }
    static constexpr TSet FromBits(Bits bits)
    {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr Bits ToBits() const { return bits_; }
    constexpr bool Contains(E m) const { return (bits_ >> unsigned(m)) & 1u; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr void Include(E m) { bits_ |= Bits(Bits(1) << unsigned(m)); }
    constexpr void Exclude(E m) { bits_ &= Bits(~(Bits(1) << unsigned(m))); }
    constexpr bool operator==(const TSet&) const = default;

private:
    Bits bits_ = 0;
};

using TComEvents = TSet<TComEvent, uint16_t>;
using TComSignals = TSet<TComSignal, uint8_t>;
using TComErrors = TSet<TComError, uint8_t>;
using TStoredProps = TSet<TStoredProp, uint8_t>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x03FF);

// ------------------------------------------------------------------ handlers

using TRxCharEvent = std::function<void(QObject* Sender, int32_t Count)>;
using TRxBufEvent = std::function<void(QObject* Sender, const void* Buffer, int32_t Count)>;
using TComSignalEvent = std::function<void(QObject* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(QObject* Sender, TComErrors Errors)>;

// Handler of an event without arguments; Sender is the object that raised it.
using TNotifyEvent = std::function<void(QObject* Sender)>;
