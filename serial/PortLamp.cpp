#include "serial/PortLamp.h"

#include <QEvent>
#include <QImage>
#include <QPainter>

// The lamp pictures are a resource of this static library: it must be
// registered by name before the first lamp loads them.
static void InitLampResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(PortLamps);
        return true;
    }();
    (void)done;
}

namespace {

// Pictures are transparent where they have the colour of their bottom-left pixel.
QPixmap WithAutomaticTransparency(const QPixmap& source)
{
    if (source.isNull())
        return source;
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == key)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return QPixmap::fromImage(image);
}

} // namespace

TComLed::TComLed(QWidget* parent)
    : QWidget(parent), link_(std::make_unique<TComLink>()), ringTimer_(std::make_unique<TTimer>())
{
    InitLampResources();
    resize(25, 25);
    link_->OnConn = [this](QObject* sender, bool on) { SignalChange(sender, on); };
    ringTimer_->SetEnabled(false);
    ringTimer_->SetOnTimer([this](QObject* sender) { DoTimer(sender); });
}

TComLed::~TComLed()
{
    // Going away is no state change the application hears of: its handler
    // may belong to an object already gone.
    OnChange = nullptr;
    ringTimer_.reset();
    try {
        SetComPort(nullptr);
    } catch (...) {
        // A destructor must not throw; the link goes with us either way.
    }
}

void TComLed::SetComPort(TComPort* value)
{
    if (value == comPort_)
        return;
    if (comPort_) {
        QObject::disconnect(portGone_);
        TComPort* old = comPort_;
        comPort_ = nullptr;
        old->UnRegisterLink(link_.get());
    }
    comPort_ = value;
    if (comPort_) {
        // The port may go first: then only forget it (see PortGone).
        portGone_ = connect(comPort_, &QObject::destroyed, this, [this] { PortGone(); });
        comPort_->RegisterLink(link_.get());
        if (comPort_->Connected() && !loading_)
            SetStateInternal(IsStateOn() ? lsOn : lsOff);
    } else {
        SetStateInternal(lsOff);
    }
}

void TComLed::PortGone()
{
    comPort_ = nullptr;
    portGone_ = {};
    SetStateInternal(lsOff);
}

void TComLed::SetLedSignal(TComLedSignal value)
{
    if (value == ledSignal_)
        return;
    ledSignal_ = value;
    link_->OnConn = nullptr;
    link_->OnCTSChange = nullptr;
    link_->OnDSRChange = nullptr;
    link_->OnRLSDChange = nullptr;
    link_->OnRing = nullptr;
    link_->OnTx = nullptr;
    link_->OnRx = nullptr;
    auto signal = [this](QObject* sender, bool on) { SignalChange(sender, on); };
    switch (value) {
    case lsConn: link_->OnConn = signal; break;
    case lsCTS: link_->OnCTSChange = signal; break;
    case lsDSR: link_->OnDSRChange = signal; break;
    case lsRLSD: link_->OnRLSDChange = signal; break;
    case lsRing: link_->OnRing = [this](QObject* sender) { RingDetect(sender); }; break;
    case lsRx: link_->OnRx = signal; break;
    case lsTx: link_->OnTx = signal; break;
    }
}

void TComLed::SetKind(TLedKind value)
{
    if (value == kind_)
        return;
    kind_ = value;
    SelectLedBitmap(value);
    update();
}

void TComLed::SetState(TLedState value)
{
    if (comPort_)
        throw EComPort(19);
    SetStateInternal(value);
}

void TComLed::SetStateInternal(TLedState value)
{
    state_ = value;
    if (!loading_)
        DoChange(value);
    update();
}

void TComLed::DoChange(TLedState AState)
{
    if (OnChange)
        OnChange(this, AState);
}

void TComLed::SetGlyphOn(const QPixmap& value)
{
    if (kind_ != lkCustom)
        return;
    glyphOn_ = WithAutomaticTransparency(value);
    update();
}

void TComLed::SetGlyphOff(const QPixmap& value)
{
    if (kind_ != lkCustom)
        return;
    glyphOff_ = WithAutomaticTransparency(value);
    update();
}

void TComLed::SignalChange(QObject*, bool OnOff)
{
    SetStateInternal(OnOff ? lsOn : lsOff);
    // Painted now, before the port's event handling goes on; no other event
    // is served here, so nothing queued (a Close, say) runs inside the port's
    // own event.
    if (isVisible())
        repaint();
}

void TComLed::RingDetect(QObject*)
{
    ringTimer_->SetEnabled(true);
    SetStateInternal(lsOn);
}

void TComLed::DoTimer(QObject*)
{
    ringTimer_->SetEnabled(false);
    SetStateInternal(lsOff);
}

bool TComLed::IsStateOn()
{
    switch (ledSignal_) {
    case lsConn: return comPort_ && comPort_->Connected();
    case lsCTS: return comPort_ && comPort_->Signals().Contains(csCTS);
    case lsDSR: return comPort_ && comPort_->Signals().Contains(csDSR);
    case lsRLSD: return comPort_ && comPort_->Signals().Contains(csRLSD);
    default: return false;
    }
}

void TComLed::SelectLedBitmap(TLedKind value)
{
    static const char* const names[][2] = {
        {"LEDREDON", "LEDREDOFF"},       {"LEDGREENON", "LEDGREENOFF"},   {"LEDBLUEON", "LEDBLUEOFF"},
        {"LEDYELLOWON", "LEDYELLOWOFF"}, {"LEDPURPLEON", "LEDPURPLEOFF"}, {"LEDBULBON", "LEDBULBOFF"},
    };
    if (value >= lkCustom)
        return;
    glyphOn_ = QPixmap(QString(":/serial/") + names[value][0]);
    glyphOff_ = QPixmap(QString(":/serial/") + names[value][1]);
}

void TComLed::BitmapNeeded()
{
    if (glyphOn_.isNull() || glyphOff_.isNull())
        SelectLedBitmap(kind_);
}

const QPixmap& TComLed::CurrentPicture() const
{
    return isEnabled() && state_ == lsOn ? glyphOn_ : glyphOff_;
}

QPoint TComLed::PicturePosition() const
{
    const QPixmap& picture = CurrentPicture();
    const QRect client = rect();
    return {client.left() + std::max(0, (client.width() - picture.width()) / 2),
            client.top() + std::max(0, (client.height() - picture.height()) / 2)};
}

void TComLed::paintEvent(QPaintEvent*)
{
    BitmapNeeded();
    QPainter painter(this);
    painter.drawPixmap(PicturePosition(), CurrentPicture());
}

void TComLed::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}
