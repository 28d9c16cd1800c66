#pragma once
// A small lamp, on or off. Bound to a port it follows one signal of it (the
// connection, a modem status line, a ring, received or sent data); unbound,
// the application switches it by hand.
#include "platform/FormTimer.h"
#include "serial/PortCore.h"

#include <QMetaObject>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>

enum TLedState : uint8_t { lsOff, lsOn };
enum TLedKind : uint8_t { lkRedLight, lkGreenLight, lkBlueLight, lkYellowLight, lkPurpleLight, lkBulb, lkCustom };
enum TComLedSignal : uint8_t { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx };

using TLedStateEvent = std::function<void(QObject* Sender, TLedState AState)>;

class TComLed : public QWidget {
public:
    explicit TComLed(QWidget* parent = nullptr);
    ~TComLed() override;

    TComPort* ComPort() const { return comPort_; }
    void SetComPort(TComPort* value);
    TComLedSignal LedSignal() const { return ledSignal_; }
    void SetLedSignal(TComLedSignal value);
    TLedKind Kind() const { return kind_; }
    void SetKind(TLedKind value);
    TLedState State() const { return state_; }
    // Refused while a port is bound: then the port decides.
    void SetState(TLedState value);
    const QPixmap& GlyphOn() const { return glyphOn_; }
    void SetGlyphOn(const QPixmap& value);
    const QPixmap& GlyphOff() const { return glyphOff_; }
    void SetGlyphOff(const QPixmap& value);
    uint32_t RingDuration() const { return ringTimer_->Interval(); }
    void SetRingDuration(uint32_t ms) { ringTimer_->SetInterval(ms); }

    // Raised whenever the state is set outside loading, changed or not.
    TLedStateEvent OnChange;

    // Stand-in for being read from a window resource: state changes between
    // these two raise no OnChange and do not look at the port.
    void BeginLoading() { loading_ = true; }
    void Loaded() { loading_ = false; }

    // The picture painted now (the off picture while disabled).
    const QPixmap& CurrentPicture() const;
    // Where the picture is painted in the control.
    QPoint PicturePosition() const;

    TComLink* Link() const { return link_.get(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    virtual void DoChange(TLedState AState);

private:
    void SetStateInternal(TLedState value);
    void SignalChange(QObject* Sender, bool OnOff);
    void RingDetect(QObject* Sender);
    void DoTimer(QObject* Sender);
    bool IsStateOn();
    void SelectLedBitmap(TLedKind value);
    void BitmapNeeded();
    void PortGone();

    TComPort* comPort_ = nullptr;
    TComLedSignal ledSignal_ = lsConn;
    TLedKind kind_ = lkRedLight;
    TLedState state_ = lsOff;
    QPixmap glyphOff_;
    QPixmap glyphOn_;
    std::unique_ptr<TComLink> link_;
    std::unique_ptr<TTimer> ringTimer_;
    QMetaObject::Connection portGone_;
    bool loading_ = false;
};
