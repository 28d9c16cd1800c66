#include "serial/PortPacket.h"
#include "serial/PortInternal.h"

#include <algorithm>

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// 0-based position of needle in hay at or after `from`, or npos; an empty
// needle is never found, as the text search the rules are written for.
size_t Find(const std::string& hay, const std::string& needle, size_t from, bool foldCase)
{
    if (needle.empty() || from >= hay.size())
        return std::string::npos;
    auto eq = [foldCase](char a, char b) { return foldCase ? AsciiUpper(a) == AsciiUpper(b) : a == b; };
    auto it = std::search(hay.begin() + std::ptrdiff_t(from), hay.end(), needle.begin(), needle.end(), eq);
    return it == hay.end() ? std::string::npos : size_t(it - hay.begin());
}

} // namespace

TComDataPacket::TComDataPacket(QObject* owner) : TComponent(owner), comLink_(std::make_unique<TComLink>())
{
    comLink_->OnRxBuf = [this](QObject* sender, const void* buffer, int32_t count) { RxBuf(sender, buffer, count); };
    maxBufferSize_ = 1024;
}

TComDataPacket::~TComDataPacket()
{
    try {
        SetComPort(nullptr);
    } catch (...) {
        // A destructor must not throw; the link is freed with us either way.
    }
}

void TComDataPacket::SetComPort(TCustomComPort* value)
{
    if (value == comPort_)
        return;
    if (comPort_) {
        QObject::disconnect(portGone_);
        TCustomComPort* old = comPort_;
        comPort_ = nullptr;
        old->UnRegisterLink(comLink_.get());
    }
    comPort_ = value;
    if (comPort_) {
        // The port may be destroyed before us: then only forget it.
        portGone_ = QObject::connect(comPort_, &QObject::destroyed, this, [this] { PortGone(); });
        comPort_->RegisterLink(comLink_.get());
    }
}

void TComDataPacket::PortGone()
{
    comPort_ = nullptr;
    portGone_ = {};
}

void TComDataPacket::SetStartString(const std::string& value)
{
    if (value == startString_)
        return;
    startString_ = value;
    RulesChanged();
}

void TComDataPacket::SetStopString(const std::string& value)
{
    if (value == stopString_)
        return;
    stopString_ = value;
    RulesChanged();
}

void TComDataPacket::SetSize(int32_t value)
{
    if (value == size_)
        return;
    size_ = value;
    RulesChanged();
}

void TComDataPacket::SetCaseInsensitive(bool value)
{
    if (value == caseInsensitive_)
        return;
    caseInsensitive_ = value;
    RulesChanged();
}

void TComDataPacket::RulesChanged()
{
    if (IsLoading())
        return;
    // A packet begun under the old rules is not continued under the new ones,
    // even when nothing of it is buffered yet (no start string: a packet
    // begins right after the last one).
    inPacket_ = false;
    EmptyBuffer();
}

void TComDataPacket::RxBuf(QObject*, const void* Buffer, int32_t Count)
{
    if (Count <= 0)
        return;
    AddData(std::string(static_cast<const char*>(Buffer), size_t(Count)));
}

bool TComDataPacket::ValidStop() const { return size_ > 0 || !stopString_.empty() || bool(OnCustomStop); }

std::string TComDataPacket::Upper(const std::string& Str) const
{
    return caseInsensitive_ ? serial_detail::Upper(Str) : Str;
}

void TComDataPacket::AddData(const std::string& Str)
{
    if (!ValidStop()) {
        DoPacket(Str);
        return;
    }
    buffer_ += Str;
    HandleBuffer();
}

void TComDataPacket::EmptyBuffer()
{
    if (buffer_.empty())
        return;
    std::string discarded;
    discarded.swap(buffer_);
    inPacket_ = false;
    DoDiscard(discarded);
}

void TComDataPacket::HandleBuffer()
{
    // A full buffer is let go whatever a handler did, or it would only grow.
    auto checkFull = [this] {
        if (maxBufferSize_ > 0 && buffer_.size() >= size_t(maxBufferSize_))
            EmptyBuffer();
    };
    try {
        // One pass per packet, in a loop: a chunk of many small packets must
        // not cost one stack frame each.
        while (CutOnce()) {
        }
    } catch (...) {
        checkFull();
        throw;
    }
    checkFull();
}

bool TComDataPacket::CutOnce()
{
    if (!inPacket_) {
        int32_t p = -1;
        DoCustomStart(buffer_, p);
        if (p == -1) {
            if (startString_.empty()) {
                p = 1;
            } else {
                const size_t at = Find(buffer_, startString_, 0, caseInsensitive_);
                p = at == std::string::npos ? 0 : int32_t(at) + 1;
            }
        }
        if (p <= 0)
            return false;
        inPacket_ = true;
        // A handler's position past the end means all of it comes before the start.
        const size_t before = std::min(size_t(p) - 1, buffer_.size());
        if (before > 0) {
            std::string discarded = buffer_.substr(0, before);
            buffer_.erase(0, before);
            DoDiscard(discarded);
        }
    }
    if (!inPacket_)
        return false;

    int32_t e = -1;
    DoCustomStop(buffer_, e);
    size_t length = 0;
    if (e > 0) {
        length = std::min(size_t(e), buffer_.size());
    } else if (e == -1) {
        if (size_ > 0 && buffer_.size() >= size_t(size_)) {
            length = size_t(size_);
        } else {
            const size_t at = Find(buffer_, stopString_, startString_.size(), caseInsensitive_);
            if (at != std::string::npos)
                length = at + stopString_.size();
        }
    }
    if (length == 0)
        return false;

    inPacket_ = false;
    std::string packet = buffer_.substr(0, length);
    buffer_.erase(0, length);
    if (!includeStrings_) {
        if (!startString_.empty() && Upper(packet.substr(0, startString_.size())) == Upper(startString_))
            packet.erase(0, startString_.size());
        const size_t at = Find(packet, stopString_, 0, caseInsensitive_);
        if (at != std::string::npos && at + stopString_.size() == packet.size())
            packet.erase(at);
    }
    DoPacket(packet);
    return true;
}

void TComDataPacket::DoDiscard(const std::string& Str)
{
    if (OnDiscard)
        OnDiscard(this, Str);
}

void TComDataPacket::DoPacket(const std::string& Str)
{
    if (OnPacket)
        OnPacket(this, Str);
}

void TComDataPacket::DoCustomStart(const std::string& Str, int32_t& Pos)
{
    if (OnCustomStart)
        OnCustomStart(this, std::string(Str), Pos); // a copy: the handler may empty the buffer
}

void TComDataPacket::DoCustomStop(const std::string& Str, int32_t& Pos)
{
    if (OnCustomStop)
        OnCustomStop(this, std::string(Str), Pos);
}
