#include "serial/PortTerminal.h"

#include "platform/ExceptionDisplay.h"
#include "platform/Modal.h"
#include "serial/PortTermSetup.h"

#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <istream>
#include <iterator>
#include <ostream>

namespace {

QColor ToQColor(TColor c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// Caret arithmetic on parameters up to 2^31 - 1 must not overflow.
int Saturate(int64_t v)
{
    return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

// Gathers cell changes while it lives and shows them once at the end.
class WriteScope {
public:
    WriteScope(int& depth, std::function<void()> flush) : depth_(depth), flush_(std::move(flush)) { ++depth_; }
    ~WriteScope()
    {
        if (--depth_ == 0)
            flush_();
    }

private:
    int& depth_;
    std::function<void()> flush_;
};

} // namespace

// ------------------------------------------------------------------ buffer

void TComTermBuffer::Init()
{
    columns_ = owner_->Columns();
    rows_ = owner_->Rows();
    cells_.assign(size_t(columns_) * size_t(rows_), TComTermChar {});
    tabs_.assign(size_t(columns_), 0);
    for (int x = 1; x <= columns_; x += 8)
        tabs_[size_t(x - 1)] = 1;
}

void TComTermBuffer::SetChar(int X, int Y, const TComTermChar& TermChar)
{
    if (InGrid(X, Y))
        cells_[Index(X, Y)] = TermChar;
}

TComTermChar TComTermBuffer::GetChar(int X, int Y) const
{
    return InGrid(X, Y) ? cells_[Index(X, Y)] : TComTermChar {};
}

void TComTermBuffer::ScrollDown()
{
    if (rows_ < 1)
        return;
    std::move(cells_.begin() + columns_, cells_.end(), cells_.begin());
    std::fill(cells_.end() - columns_, cells_.end(), TComTermChar {});
    owner_->InvalidateAll();
}

void TComTermBuffer::ScrollUp()
{
    if (rows_ < 1)
        return;
    std::move_backward(cells_.begin(), cells_.end() - columns_, cells_.end());
    std::fill(cells_.begin(), cells_.begin() + columns_, TComTermChar {});
    owner_->InvalidateAll();
}

void TComTermBuffer::EraseLine(int X, int Y)
{
    if (Y < 1 || Y > rows_)
        return;
    X = std::max(X, 1);
    for (int x = X; x <= columns_; ++x)
        cells_[Index(x, Y)] = TComTermChar {};
    if (X <= columns_)
        owner_->InvalidatePortion(QRect(QPoint(X, Y), QPoint(columns_, Y)));
}

void TComTermBuffer::EraseScreen(int X, int Y)
{
    if (Y < 1 || Y > rows_)
        return;
    EraseLine(X, Y);
    std::fill(cells_.begin() + std::ptrdiff_t(Index(1, Y)) + columns_, cells_.end(), TComTermChar {});
    owner_->InvalidateAll();
}

bool TComTermBuffer::GetTab(int X) const
{
    return X >= 1 && X <= columns_ && tabs_[size_t(X - 1)] != 0;
}

void TComTermBuffer::SetTab(int X, bool Value)
{
    if (X >= 1 && X <= columns_)
        tabs_[size_t(X - 1)] = Value ? 1 : 0;
}

void TComTermBuffer::ClearAllTabs()
{
    std::fill(tabs_.begin(), tabs_.end(), 0);
}

int TComTermBuffer::NextTab(int X) const
{
    for (int x = std::max(X, 1); x <= columns_; ++x)
        if (tabs_[size_t(x - 1)])
            return x;
    return 0;
}

int TComTermBuffer::GetLineLength(int Y) const
{
    if (Y < 1 || Y > rows_)
        return 0;
    for (int x = columns_; x >= 1; --x)
        if (cells_[Index(x, Y)].Ch != 0)
            return x;
    return 0;
}

int TComTermBuffer::GetLastLine() const
{
    for (int y = rows_; y >= 1; --y)
        if (GetLineLength(y) > 0)
            return y;
    return 0;
}

// ------------------------------------------------------------------ terminal

const QFont& TCustomComTerminal::DefaultFont()
{
    static const QFont font = [] {
        QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSize(9);
        if (QFontInfo(f).fixedPitch())
            return f;
        // Some "mono" fonts carry wide glyphs and are not fixed pitch: take
        // the first font that is, the common ones first.
        QStringList candidates {"DejaVu Sans Mono", "Liberation Mono"};
        candidates += QFontDatabase::families();
        for (const QString& family : candidates) {
            if (!QFontDatabase::isFixedPitch(family))
                continue;
            QFont g(family);
            g.setPointSize(9);
            if (QFontInfo(g).fixedPitch())
                return g;
        }
        return f;
    }();
    return font;
}

TCustomComTerminal::TCustomComTerminal(QWidget* parent) : QAbstractScrollArea(parent)
{
    link_.OnRxBuf = [this](QObject*, const void* Buffer, int32_t Count) {
        platform::Guarded([&] { RxBuf(Buffer, Count); });
    };
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    termFont_ = DefaultFont();
    CalculateMetrics();
    SetBorderStyle(bsSingle);
    SetScrollBars(ssBoth);
    SetSmoothScroll(false);
    resize(400, 250);
    ResetAttributes();
    savedAttr_ = attr_;
    // The escape codes wait for the first use (see Codes), so that a handler
    // set after construction is asked for the first emulation too.
    buffer_.Init();
    UpdateScrollRange();
}

TCustomComTerminal::~TCustomComTerminal()
{
    SetComPort(nullptr);
}

void TCustomComTerminal::SetComPort(TCustomComPort* Value)
{
    if (Value == comPort_)
        return;
    if (comPort_) {
        QObject::disconnect(portDestroyed_);
        TCustomComPort* old = comPort_;
        comPort_ = nullptr;
        try {
            old->UnRegisterLink(&link_);
        } catch (const EComPort&) {
            // Not registered there: nothing to undo.
        }
    }
    if (Value) {
        Value->RegisterLink(&link_);
        comPort_ = Value;
        // The port's own parts are gone by then: only forget it.
        portDestroyed_ = QObject::connect(Value, &QObject::destroyed, this, [this] { comPort_ = nullptr; });
    }
}

void TCustomComTerminal::SetBorderStyle(TTermBorderStyle Value)
{
    borderStyle_ = Value;
    setFrameStyle(Value == bsSingle ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
    AdjustSize();
}

void TCustomComTerminal::SetScrollBars(TScrollStyle Value)
{
    scrollBars_ = Value;
    setHorizontalScrollBarPolicy(Value == ssHorizontal || Value == ssBoth ? Qt::ScrollBarAsNeeded
                                                                          : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Value == ssVertical || Value == ssBoth ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    UpdateScrollRange();
}

void TCustomComTerminal::SetSmoothScroll(bool Value)
{
    smoothScroll_ = Value;
    // Without it the picture moves only when the thumb is let go.
    horizontalScrollBar()->setTracking(Value);
    verticalScrollBar()->setTracking(Value);
}

void TCustomComTerminal::ClampCarets()
{
    caretPos_ = QPoint(std::clamp(caretPos_.x(), 1, columns_), std::clamp(caretPos_.y(), 1, rows_));
    savedCaretPos_ = QPoint(std::clamp(savedCaretPos_.x(), 1, columns_), std::clamp(savedCaretPos_.y(), 1, rows_));
}

void TCustomComTerminal::SetColumns(int Value)
{
    Value = std::clamp(Value, 2, 256);
    if (Value == columns_)
        return;
    columns_ = Value;
    AdjustSize();
    UpdateScrollRange();
    buffer_.Init();
    ClampCarets();
    InvalidateAll();
}

void TCustomComTerminal::SetRows(int Value)
{
    Value = std::clamp(Value, 2, 100);
    if (Value == rows_)
        return;
    rows_ = Value;
    AdjustSize();
    UpdateScrollRange();
    buffer_.Init();
    ClampCarets();
    InvalidateAll();
}

void TCustomComTerminal::SetEmulation(TTermEmulation Value)
{
    if (Value == emulation_)
        return;
    emulation_ = Value;
    // Before the first use only stored: the first use creates them.
    if (escapeCodesReady_) {
        escapeCodes_.reset();
        CreateEscapeCodes();
    }
}

TEscapeCodes* TCustomComTerminal::Codes()
{
    if (!escapeCodesReady_) {
        escapeCodesReady_ = true; // first: a handler may already write to us
        CreateEscapeCodes();
    }
    return escapeCodes_.get();
}

void TCustomComTerminal::CreateEscapeCodes()
{
    switch (emulation_) {
    case teVT100orANSI: escapeCodes_ = std::make_unique<TEscapeCodesVT100>(); break;
    case teVT52: escapeCodes_ = std::make_unique<TEscapeCodesVT52>(); break;
    default: escapeCodes_.reset(); break;
    }
    if (OnGetEscapeCodes)
        OnGetEscapeCodes(this, escapeCodes_);
}

void TCustomComTerminal::SetCaret(TTermCaret Value)
{
    if (Value == caret_)
        return;
    caret_ = Value;
    if (caretCreated_) {
        viewport()->update(CaretRect());
        InitCaret();
    }
}

void TCustomComTerminal::SetAutoSize(bool Value)
{
    autoSize_ = Value;
    AdjustSize();
}

void TCustomComTerminal::SetColor(TColor Value)
{
    color_ = Value;
    attr_.BackColor = Value;
    InvalidateAll();
}

void TCustomComTerminal::SetFontColor(TColor Value)
{
    fontColor_ = Value;
    InvalidateAll();
}

void TCustomComTerminal::SetTermFont(const QFont& Value)
{
    QFont font = Value;
    if (!QFontInfo(font).fixedPitch())
        font.setFamily(DefaultFont().family());
    font.setUnderline(false);
    termFont_ = font;
    CalculateMetrics();
    AdjustSize();
    UpdateScrollRange();
    InvalidateAll();
}

bool TCustomComTerminal::Connected() const
{
    return comPort_ && comPort_->Connected();
}

void TCustomComTerminal::SetConnected(bool Value)
{
    if (comPort_)
        comPort_->SetConnected(Value);
}

bool TCustomComTerminal::CalculateMetrics()
{
    const QFontMetrics metrics(termFont_);
    charHeight_ = std::max(1, metrics.height());
    // The advance of a fixed-pitch font is its cell; the widest glyph of a
    // modern font would leave gaps between the characters.
    charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    caretHeight_ = caret_ == tcBlock ? charHeight_ : caret_ == tcUnderline ? charHeight_ / 8 : 0;
    return QFontInfo(termFont_).fixedPitch();
}

void TCustomComTerminal::AdjustSize()
{
    if (!autoSize_)
        return;
    resize(columns_ * charWidth_ + 2 * frameWidth(), rows_ * charHeight_ + 2 * frameWidth());
}

void TCustomComTerminal::UpdateScrollRange()
{
    // Showing or hiding a bar resizes the viewport, which calls back here.
    if (updatingScroll_)
        return;
    updatingScroll_ = true;
    // Twice: showing or hiding one bar changes the room of the other.
    for (int pass = 0; pass < 2; ++pass) {
        const int visibleColumns = viewport()->width() / charWidth_;
        const int visibleRows = viewport()->height() / charHeight_;
        // A bar not in use has no range, or the wheel would still scroll it.
        const bool horizontal = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
        const bool vertical = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
        horizontalScrollBar()->setRange(0, horizontal ? std::max(0, columns_ - visibleColumns) : 0);
        verticalScrollBar()->setRange(0, vertical ? std::max(0, rows_ - visibleRows) : 0);
        horizontalScrollBar()->setSingleStep(1);
        verticalScrollBar()->setSingleStep(1);
        // A page is the client height in cells, for both bars.
        horizontalScrollBar()->setPageStep(std::max(1, viewport()->height() / charWidth_));
        verticalScrollBar()->setPageStep(std::max(1, visibleRows));
    }
    updatingScroll_ = false;
    UpdateScrollPos();
}

void TCustomComTerminal::UpdateScrollPos()
{
    const QPoint topLeft(horizontalScrollBar()->value() + 1, verticalScrollBar()->value() + 1);
    if (topLeft != topLeft_) {
        topLeft_ = topLeft;
        viewport()->update();
    }
}

void TCustomComTerminal::scrollContentsBy(int, int)
{
    UpdateScrollPos();
}

void TCustomComTerminal::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollRange();
}

// ------------------------------------------------------------------ caret

QRect TCustomComTerminal::CaretRect() const
{
    if (!caretCreated_ || caretHeight_ <= 0)
        return {};
    return QRect((caretPos_.x() - topLeft_.x()) * charWidth_,
                 (caretPos_.y() - topLeft_.y()) * charHeight_ + charHeight_ - caretHeight_, charWidth_, caretHeight_);
}

void TCustomComTerminal::InitCaret()
{
    caretHeight_ = caret_ == tcBlock ? charHeight_ : caret_ == tcUnderline ? charHeight_ / 8 : 0;
    caretCreated_ = true;
    viewport()->update(CaretRect());
}

void TCustomComTerminal::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    InitCaret();
}

void TCustomComTerminal::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update(CaretRect());
    caretCreated_ = false;
}

void TCustomComTerminal::MoveCaret(int X, int Y)
{
    const QPoint to(std::clamp(X, 1, columns_), std::clamp(Y, 1, rows_));
    if (to == caretPos_)
        return;
    if (caretCreated_) {
        InvalidatePortion(QRect(caretPos_, caretPos_));
        InvalidatePortion(QRect(to, to));
    }
    caretPos_ = to;
}

// ------------------------------------------------------------------ showing

void TCustomComTerminal::InvalidatePortion(const QRect& cells)
{
    if (writeDepth_ > 0) {
        dirty_ = dirty_.isNull() ? cells : dirty_.united(cells);
        return;
    }
    const int left = std::max(0, (cells.left() - topLeft_.x()) * charWidth_);
    const int top = std::max(0, (cells.top() - topLeft_.y()) * charHeight_);
    const int right = std::max(0, (cells.right() - topLeft_.x() + 1) * charWidth_);
    const int bottom = std::max(0, (cells.bottom() - topLeft_.y() + 1) * charHeight_);
    if (right > left && bottom > top)
        viewport()->update(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
}

void TCustomComTerminal::InvalidateAll()
{
    if (writeDepth_ > 0)
        dirty_ = QRect(1, 1, std::max(columns_, buffer_.Columns()), std::max(rows_, buffer_.Rows()));
    else
        viewport()->update();
}

void TCustomComTerminal::FlushDirty()
{
    if (dirty_.isNull())
        return;
    const QRect cells = dirty_;
    dirty_ = QRect();
    InvalidatePortion(cells);
}

void TCustomComTerminal::paintEvent(QPaintEvent* e)
{
    QPainter painter(viewport());
    painter.setFont(termFont_);
    const QRect clip = e->rect();
    painter.fillRect(clip, ToQColor(color_));
    const QRect cells(QPoint(clip.left() / charWidth_ + 1, clip.top() / charHeight_ + 1),
                      QPoint(std::min(clip.right() / charWidth_ + 1, columns_),
                             std::min(clip.bottom() / charHeight_ + 1, rows_)));
    PaintTerminal(painter, cells);
    const QRect caret = CaretRect();
    if (!caret.isEmpty()) {
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.fillRect(caret, Qt::white);
    }
}

void TCustomComTerminal::PaintTerminal(QPainter& painter, const QRect& cells)
{
    // Every cell is clipped to the buffer, wherever the view is scrolled.
    for (int y = std::max(cells.top(), 1); y <= cells.bottom(); ++y) {
        const int by = y + topLeft_.y() - 1;
        if (by > buffer_.Rows())
            break;
        for (int x = std::max(cells.left(), 1); x <= cells.right(); ++x) {
            const int bx = x + topLeft_.x() - 1;
            if (bx > buffer_.Columns())
                break;
            const TComTermChar ch = buffer_.GetChar(bx, by);
            if (ch.Ch != 0)
                DrawChar(painter, x, y, ch);
        }
    }
}

void TCustomComTerminal::DrawChar(QPainter& painter, int X, int Y, const TComTermChar& Ch)
{
    const QRect cell((X - 1) * charWidth_, (Y - 1) * charHeight_, charWidth_, charHeight_);
    painter.fillRect(cell, ToQColor(Ch.BackColor));
    if (painter.font().underline() != Ch.Underline) {
        QFont font = termFont_;
        font.setUnderline(Ch.Underline);
        painter.setFont(font);
    }
    painter.setPen(ToQColor(Ch.FrontColor));
    painter.drawText(QPoint(cell.left(), cell.top() + painter.fontMetrics().ascent()),
                     QString(QChar(char16_t(uint8_t(Ch.Ch)))));
}

// ------------------------------------------------------------------ receiving

void TCustomComTerminal::RxBuf(const void* Buffer, int32_t Count)
{
    if (!Buffer || Count <= 0)
        return;
    const auto* bytes = static_cast<const char*>(Buffer);
    std::string text;
    text.reserve(size_t(Count));
    for (int32_t i = 0; i < Count; ++i) {
        text += bytes[i];
        if (AppendLF && bytes[i] == '\r')
            text += '\n';
    }
    if (Force7Bit)
        for (char& c : text)
            c = char(uint8_t(c) & 0x7F);
    StringReceived(text);
}

void TCustomComTerminal::StringReceived(std::string& Str)
{
    if (OnStrRecieved)
        OnStrRecieved(this, Str);
    WriteStr(Str);
}

void TCustomComTerminal::WriteStr(const std::string& Str)
{
    Write(Str.data(), int32_t(std::min<size_t>(Str.size(), INT32_MAX)));
}

void TCustomComTerminal::Write(const void* Buffer, int32_t Size)
{
    if (!Buffer || Size <= 0)
        return;
    WriteScope scope(writeDepth_, [this] { FlushDirty(); });
    const auto* bytes = static_cast<const char*>(Buffer);
    for (int32_t i = 0; i < Size; ++i) {
        // Looked up for every byte: a handler may change the emulation.
        TEscapeCodes* codes = Codes();
        if (!codes) {
            PutChar(bytes[i]);
            continue;
        }
        switch (codes->ProcessChar(bytes[i])) {
        case erChar: PutChar(codes->Character); break;
        case erCode: {
            const TEscapeCode code = codes->Code;
            const TStrings params = std::move(codes->Params);
            codes->Params.clear();
            const std::string sequence = OnUnhandledCode ? codes->Data() : std::string();
            if (!PutEscapeCode(code, params) && OnUnhandledCode)
                OnUnhandledCode(this, code, sequence);
            break;
        }
        case erNothing: break;
        }
    }
}

void TCustomComTerminal::WriteEscCode(TEscapeCode ACode, const TStrings& AParams)
{
    if (Codes()) {
        WriteScope scope(writeDepth_, [this] { FlushDirty(); });
        PutEscapeCode(ACode, AParams);
    }
}

TComTermChar TCustomComTerminal::GetCharAttr() const
{
    TComTermChar c;
    c.FrontColor = attr_.AltIntensity ? altColor_ : attr_.Inverse ? color_ : fontColor_;
    c.BackColor = attr_.Inverse ? fontColor_ : color_;
    c.Underline = attr_.Underline;
    return c;
}

void TCustomComTerminal::PutChar(char Ch)
{
    switch (Ch) {
    case 10:
    case 12: AdvanceCaret(acLineFeed); break;
    case 8: AdvanceCaret(acBackspace); break;
    case 9: AdvanceCaret(acTab); break;
    case 13: AdvanceCaret(acReturn); break;
    default:
        if (uint8_t(Ch) >= 32) {
            TComTermChar cell = GetCharAttr();
            cell.Ch = Ch;
            buffer_.SetChar(caretPos_.x(), caretPos_.y(), cell);
            InvalidatePortion(QRect(caretPos_, caretPos_));
            AdvanceCaret(acChar);
        }
        break;
    }
    if (OnChar)
        OnChar(this, Ch);
}

void TCustomComTerminal::AdvanceCaret(TAdvanceCaret Kind)
{
    const int x = caretPos_.x();
    const int y = caretPos_.y();
    switch (Kind) {
    case acChar:
        if (x < columns_)
            MoveCaret(x + 1, y);
        else if (WrapLines) {
            if (y < rows_)
                MoveCaret(1, y + 1);
            else {
                buffer_.ScrollDown();
                MoveCaret(1, y);
            }
        }
        break;
    case acReturn: MoveCaret(1, y); break;
    case acLineFeed:
        if (y < rows_)
            MoveCaret(x, y + 1);
        else
            buffer_.ScrollDown();
        break;
    case acReverseLineFeed:
        if (y > 1)
            MoveCaret(x, y - 1);
        else
            buffer_.ScrollUp();
        break;
    case acTab:
        if (const int tab = buffer_.NextTab(x + 1); tab > 0)
            MoveCaret(tab, y);
        break;
    case acBackspace: MoveCaret(x - 1, y); break;
    }
}

bool TCustomComTerminal::PutEscapeCode(TEscapeCode ACode, const TStrings& AParams)
{
    auto p = [&AParams](int n) { return int64_t(TEscapeCodes::GetParam(n, &AParams)); };
    const int64_t x = caretPos_.x();
    const int64_t y = caretPos_.y();
    switch (ACode) {
    case ecCursorUp:
    case ecAppCursorUp: MoveCaret(int(x), Saturate(y - p(1))); break;
    case ecCursorDown: MoveCaret(int(x), Saturate(y + p(1))); break;
    case ecCursorLeft: MoveCaret(Saturate(x - p(1)), int(y)); break;
    case ecCursorRight: MoveCaret(Saturate(x + p(1)), int(y)); break;
    case ecCursorHome:
    case ecCursorMove: MoveCaret(int(p(2)), int(p(1))); break;
    case ecReverseLineFeed: AdvanceCaret(acReverseLineFeed); break;
    case ecEraseLineFrom: buffer_.EraseLine(int(x), int(y)); break;
    case ecEraseScreenFrom: buffer_.EraseScreen(int(x), int(y)); break;
    case ecEraseLine:
        buffer_.EraseLine(1, int(y));
        MoveCaret(1, int(y));
        break;
    case ecEraseScreen:
        buffer_.EraseScreen(1, 1);
        MoveCaret(1, 1);
        break;
    case ecSetTab: buffer_.SetTab(int(x), true); break;
    case ecClearTab: buffer_.SetTab(int(x), false); break;
    case ecClearAllTabs: buffer_.ClearAllTabs(); break;
    case ecIdentify: {
        const TStrings ident {"2"};
        SendCodeNoEcho(ecIdentResponse, &ident);
        break;
    }
    case ecQueryDevice: SendCodeNoEcho(ecReportDeviceOK, nullptr); break;
    case ecQueryCursorPos: {
        const TStrings pos {std::to_string(y), std::to_string(x)};
        SendCodeNoEcho(ecReportCursorPos, &pos);
        break;
    }
    case ecAttributes: SetAttributes(AParams); break;
    case ecSetMode: SetMode(AParams, true); break;
    case ecResetMode: SetMode(AParams, false); break;
    case ecReset: SetAttributes(TStrings {"0"}); break;
    case ecSaveCaretAndAttr:
        savedCaretPos_ = caretPos_;
        savedAttr_ = attr_;
        break;
    case ecRestoreCaretAndAttr:
        MoveCaret(savedCaretPos_.x(), savedCaretPos_.y());
        attr_ = savedAttr_;
        break;
    case ecSaveCaret: savedCaretPos_ = caretPos_; break;
    case ecRestoreCaret: MoveCaret(savedCaretPos_.x(), savedCaretPos_.y()); break;
    case ecTest: {
        TComTermChar e;
        e.Ch = 'E';
        e.FrontColor = fontColor_;
        e.BackColor = color_;
        for (int row = 1; row <= buffer_.Rows(); ++row)
            for (int col = 1; col <= buffer_.Columns(); ++col)
                buffer_.SetChar(col, row, e);
        InvalidateAll();
        break;
    }
    default: return false;
    }
    return true;
}

void TCustomComTerminal::ResetAttributes()
{
    attr_ = Attributes {fontColor_, color_, false, false, false};
}

void TCustomComTerminal::SetAttributes(const TStrings& AParams)
{
    if (AParams.empty()) {
        ResetAttributes();
        return;
    }
    for (size_t i = 1; i <= AParams.size(); ++i) {
        switch (TEscapeCodes::GetParam(int(i), &AParams)) {
        case 0: ResetAttributes(); break;
        case 1: attr_.AltIntensity = true; break;
        case 4: attr_.Underline = true; break;
        case 7: attr_.Inverse = true; break;
        case 21: attr_.AltIntensity = false; break;
        case 24: attr_.Underline = false; break;
        case 27: attr_.Inverse = false; break;
        default: break;
        }
    }
}

void TCustomComTerminal::SetMode(const TStrings& AParams, bool OnOff)
{
    if (AParams.empty())
        return;
    const std::string& mode = AParams[0];
    if (mode == "?1")
        appCursorKeys_ = OnOff;
    else if (mode == "7")
        WrapLines = OnOff;
    else if (mode == "?3")
        SetColumns(OnOff ? 132 : 80);
}

void TCustomComTerminal::ClearScreen()
{
    buffer_.Init();
    MoveCaret(1, 1);
    InvalidateAll();
}

// ------------------------------------------------------------------ sending

void TCustomComTerminal::SendChar(char Ch)
{
    if (!Connected())
        return;
    comPort_->WriteStr(std::string(1, Ch));
    if (LocalEcho) {
        WriteScope scope(writeDepth_, [this] { FlushDirty(); });
        PutChar(Ch);
    }
    if (Ch == '\r' && SendLF)
        SendChar('\n');
}

void TCustomComTerminal::SendCode(TEscapeCode Code, const TStrings* AParams)
{
    if (!Connected() || !Codes())
        return;
    const std::string text = escapeCodes_->EscCodeToStr(Code, AParams);
    if (!text.empty())
        comPort_->WriteStr(text);
    if (LocalEcho) {
        WriteScope scope(writeDepth_, [this] { FlushDirty(); });
        PutEscapeCode(Code, AParams ? *AParams : TStrings {});
    }
}

void TCustomComTerminal::SendCodeNoEcho(TEscapeCode Code, const TStrings* AParams)
{
    if (!Connected() || !Codes())
        return;
    const std::string text = escapeCodes_->EscCodeToStr(Code, AParams);
    if (!text.empty())
        comPort_->WriteStr(text);
}

bool TCustomComTerminal::event(QEvent* e)
{
    // With WantTab the Tab key is typed, not used to move the focus.
    if (e->type() == QEvent::KeyPress && WantTab) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void TCustomComTerminal::keyPressEvent(QKeyEvent* e)
{
    e->accept();
    // A failed write is shown, not thrown through the event loop.
    platform::Guarded([&] {
        switch (e->key()) {
        case Qt::Key_Home:
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down: KeyDown(e->key()); return;
        case Qt::Key_Delete: return; // no character of its own
        default: break;
        }
        const QString text = e->text();
        for (const QChar qc : text) {
            if (qc.unicode() > 0xFF)
                continue;
            char key = char(qc.unicode());
            if (OnKeyPress)
                OnKeyPress(this, key);
            if (key != 0) // a handler that clears the key swallows it
                SendChar(key);
        }
    });
}

void TCustomComTerminal::KeyDown(int key)
{
    if (appCursorKeys_) {
        TEscapeCode code;
        switch (key) {
        case Qt::Key_Up: code = ecAppCursorUp; break;
        case Qt::Key_Down: code = ecAppCursorDown; break;
        case Qt::Key_Left: code = ecAppCursorLeft; break;
        case Qt::Key_Right: code = ecAppCursorRight; break;
        default: return;
        }
        SendCode(code, nullptr);
        return;
    }
    TEscapeCode code;
    switch (key) {
    case Qt::Key_Home: code = ecCursorHome; break;
    case Qt::Key_Left: code = ecCursorLeft; break;
    case Qt::Key_Up: code = ecCursorUp; break;
    case Qt::Key_Right: code = ecCursorRight; break;
    case Qt::Key_Down: code = ecCursorDown; break;
    default: return;
    }
    if (ArrowKeys == akWindows)
        PutEscapeCode(code, TStrings {});
    else
        SendCode(code, nullptr);
}

// ------------------------------------------------------------------ streams, dialogs

void TCustomComTerminal::LoadFromStream(std::istream& Stream)
{
    WriteScope scope(writeDepth_, [this] { FlushDirty(); });
    for (std::istreambuf_iterator<char> it(Stream), end; it != end; ++it)
        PutChar(*it);
}

void TCustomComTerminal::SaveToStream(std::ostream& Stream)
{
    const int last = buffer_.GetLastLine();
    for (int y = 1; y <= last; ++y) {
        const int length = buffer_.GetLineLength(y);
        for (int x = 1; x <= length; ++x) {
            const char c = buffer_.GetChar(x, y).Ch;
            Stream.put(c == 0 ? ' ' : c);
        }
        if (y < last)
            Stream << "\r\n";
    }
}

void TCustomComTerminal::SelectFont()
{
    QFontDialog dialog(termFont_, this);
    dialog.setOption(QFontDialog::MonospacedFonts);
    if (platform::ExecModal(dialog) == QDialog::Accepted)
        SetTermFont(dialog.selectedFont());
}

void TCustomComTerminal::ShowSetupDialog()
{
    EditComTerminal(this);
}
