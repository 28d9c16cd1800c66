#pragma once
// Cuts a port's received data into packets: a packet begins at a start string
// (or at once) and ends at a stop string, after a fixed size, or where a
// handler says; text before a start and text that overflows the buffer is
// reported as discarded.
#include "serial/PortCore.h"

#include <QMetaObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

using TComStrEvent = std::function<void(QObject* Sender, const std::string& Str)>;
// Pos is 1-based; the handler leaves it at -1 to let the packet's own rules decide.
using TCustPacketEvent = std::function<void(QObject* Sender, const std::string& Str, int32_t& Pos)>;

class TComDataPacket : public TComponent {
public:
    explicit TComDataPacket(QObject* owner = nullptr);
    ~TComDataPacket() override;

    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* value);
    bool CaseInsensitive() const { return caseInsensitive_; }
    void SetCaseInsensitive(bool value);
    bool IncludeStrings() const { return includeStrings_; }
    void SetIncludeStrings(bool value) { includeStrings_ = value; }
    int32_t MaxBufferSize() const { return maxBufferSize_; }
    void SetMaxBufferSize(int32_t value) { maxBufferSize_ = value; }
    const std::string& StartString() const { return startString_; }
    void SetStartString(const std::string& value);
    const std::string& StopString() const { return stopString_; }
    void SetStopString(const std::string& value);
    int32_t Size() const { return size_; }
    void SetSize(int32_t value);

    bool InPacket() const { return inPacket_; }
    const std::string& Buffer() const { return buffer_; }
    TComLink* ComLink() const { return comLink_.get(); }

    TComStrEvent OnDiscard;
    TComStrEvent OnPacket;
    TCustPacketEvent OnCustomStart;
    TCustPacketEvent OnCustomStop;

    // Feeds received text as the port's receive handler does.
    void AddData(const std::string& Str);
    // Discards what is buffered (reported through OnDiscard).
    void EmptyBuffer();

protected:
    virtual void HandleBuffer();
    virtual void DoDiscard(const std::string& Str);
    virtual void DoPacket(const std::string& Str);
    virtual void DoCustomStart(const std::string& Str, int32_t& Pos);
    virtual void DoCustomStop(const std::string& Str, int32_t& Pos);

private:
    void RxBuf(QObject* Sender, const void* Buffer, int32_t Count);
    bool ValidStop() const;
    // What a change of the start, stop, size or case rule does.
    void RulesChanged();
    std::string Upper(const std::string& Str) const;
    // One pass over the buffer: true when a packet was given out and what is
    // left must be looked at again.
    bool CutOnce();
    void PortGone();

    std::unique_ptr<TComLink> comLink_;
    TCustomComPort* comPort_ = nullptr;
    QMetaObject::Connection portGone_;
    std::string startString_;
    std::string stopString_;
    int32_t maxBufferSize_ = 1024;
    int32_t size_ = 0;
    bool includeStrings_ = false;
    bool caseInsensitive_ = false;
    bool inPacket_ = false;
    std::string buffer_;
};
