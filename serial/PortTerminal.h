#pragma once
// The serial port library's text terminal: a grid of character cells that
// shows what a port receives, interprets VT100 (ANSI) or VT52 escape codes and
// sends what the user types, with optional local echo. It listens to the port
// through a link, so it gets the received bytes before the port's own event.
#include "serial/PortCore.h"
#include "serial/PortEscapes.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QMetaObject>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// A colour as the form framework stores it: 0x00BBGGRR.
using TColor = uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

enum TTermEmulation : uint8_t { teVT100orANSI, teVT52, teNone };
enum TTermCaret : uint8_t { tcBlock, tcUnderline, tcNone };
enum TArrowKeys : uint8_t { akTerminal, akWindows };
enum TAdvanceCaret : uint8_t { acChar, acReturn, acLineFeed, acReverseLineFeed, acTab, acBackspace };
enum TTermBorderStyle : uint8_t { bsNone, bsSingle };
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

// One cell; Ch 0 is an empty cell.
struct TComTermChar {
    char Ch = 0;
    TColor FrontColor = 0;
    TColor BackColor = 0;
    bool Underline = false;
    bool operator==(const TComTermChar&) const = default;
};

class TCustomComTerminal;

// The cells and tab stops, addressed by column and row from 1. Every access
// outside the allocated grid is ignored (writes) or reads an empty cell.
class TComTermBuffer {
public:
    explicit TComTermBuffer(TCustomComTerminal* AOwner) : owner_(AOwner) {}

    void Init();
    void SetChar(int X, int Y, const TComTermChar& TermChar);
    TComTermChar GetChar(int X, int Y) const;
    void ScrollDown();
    void ScrollUp();
    void EraseLine(int X, int Y);
    void EraseScreen(int X, int Y);
    bool GetTab(int X) const;
    void SetTab(int X, bool Value);
    void ClearAllTabs();
    int NextTab(int X) const;
    int GetLineLength(int Y) const;
    int GetLastLine() const;

    int Columns() const { return columns_; }
    int Rows() const { return rows_; }

private:
    bool InGrid(int X, int Y) const { return X >= 1 && X <= columns_ && Y >= 1 && Y <= rows_; }
    size_t Index(int X, int Y) const { return size_t(Y - 1) * size_t(columns_) + size_t(X - 1); }

    TCustomComTerminal* owner_;
    std::vector<TComTermChar> cells_;
    std::vector<uint8_t> tabs_;
    int columns_ = 0; // as allocated by Init
    int rows_ = 0;
};

class TCustomComTerminal : public QAbstractScrollArea {
public:
    explicit TCustomComTerminal(QWidget* parent = nullptr);
    ~TCustomComTerminal() override;

    // The shared font of new terminals: the system's fixed-pitch font in
    // place of "Fixedsys", size 9.
    static const QFont& DefaultFont();

    // Properties.
    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* Value);
    TTermBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TTermBorderStyle Value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle Value);
    TArrowKeys ArrowKeys = akTerminal;
    bool WantTab = false;
    int Columns() const { return columns_; }
    void SetColumns(int Value);
    int Rows() const { return rows_; }
    void SetRows(int Value);
    TColor AltColor() const { return altColor_; }
    void SetAltColor(TColor Value) { altColor_ = Value; }
    bool LocalEcho = false;
    bool SendLF = false;
    bool AppendLF = false;
    // Masks received characters to 7 bits (clears bit 7).
    bool Force7Bit = false;
    bool WrapLines = false;
    bool SmoothScroll() const { return smoothScroll_; }
    void SetSmoothScroll(bool Value);
    TTermEmulation Emulation() const { return emulation_; }
    void SetEmulation(TTermEmulation Value);
    TTermCaret Caret() const { return caret_; }
    void SetCaret(TTermCaret Value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    // The control colour (background) and the font's colour (text).
    TColor Color() const { return color_; }
    void SetColor(TColor Value);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor Value);
    const QFont& TermFont() const { return termFont_; }
    void SetTermFont(const QFont& Value);
    bool Connected() const;
    void SetConnected(bool Value);

    TComTermBuffer& Buffer() { return buffer_; }
    // The parser in use; created at the first use of the terminal.
    TEscapeCodes* EscapeCodes() { return Codes(); }
    QPoint CaretPos() const { return caretPos_; }
    QPoint TopLeft() const { return topLeft_; }
    int CharWidth() const { return charWidth_; }
    int CharHeight() const { return charHeight_; }
    bool AppCursorKeys() const { return appCursorKeys_; }
    // True while the control has its own caret (only with the focus).
    bool CaretCreated() const { return caretCreated_; }
    // The caret's pixel rectangle in the viewport (empty without a caret).
    QRect CaretRect() const;

    // Events.
    std::function<void(QObject* Sender, char Ch)> OnChar;
    std::function<void(QObject* Sender, std::unique_ptr<TEscapeCodes>& EscapeCodes)> OnGetEscapeCodes;
    std::function<void(QObject* Sender, TEscapeCode Code, const std::string& Data)> OnUnhandledCode;
    std::function<void(QObject* Sender, std::string& Str)> OnStrRecieved;
    std::function<void(QObject* Sender, char& Key)> OnKeyPress;

    // Operations.
    void ClearScreen();
    void MoveCaret(int X, int Y);
    void Write(const void* Buffer, int32_t Size);
    void WriteStr(const std::string& Str);
    void WriteEscCode(TEscapeCode ACode, const TStrings& AParams);
    void LoadFromStream(std::istream& Stream);
    void SaveToStream(std::ostream& Stream);
    void SelectFont();
    void ShowSetupDialog();
    void SendChar(char Ch);
    void SendCode(TEscapeCode Code, const TStrings* AParams);
    void SendCodeNoEcho(TEscapeCode Code, const TStrings* AParams);

    // What the buffer calls to show its changes.
    void InvalidatePortion(const QRect& cells);
    void InvalidateAll();

protected:
    void RxBuf(const void* Buffer, int32_t Count);
    void StringReceived(std::string& Str);
    void PutChar(char Ch);
    bool PutEscapeCode(TEscapeCode ACode, const TStrings& AParams);
    void AdvanceCaret(TAdvanceCaret Kind);
    TComTermChar GetCharAttr() const;
    void SetAttributes(const TStrings& AParams);
    void SetMode(const TStrings& AParams, bool OnOff);
    void CreateEscapeCodes();
    // The parser, created by the first call (the control is in use from then).
    TEscapeCodes* Codes();
    bool CalculateMetrics();
    void AdjustSize();
    void UpdateScrollRange();
    void UpdateScrollPos();

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Attributes {
        TColor FrontColor = clWhite;
        TColor BackColor = clBlack;
        bool Inverse = false;
        bool AltIntensity = false;
        bool Underline = false;
    };
    void KeyDown(int key);
    void PaintTerminal(class QPainter& painter, const QRect& cells);
    void DrawChar(QPainter& painter, int X, int Y, const TComTermChar& Ch);
    void ResetAttributes();
    void InitCaret();
    void ClampCarets();
    void FlushDirty();
    void PortDestroyed();

    TCustomComPort* comPort_ = nullptr;
    QMetaObject::Connection portDestroyed_;
    TComLink link_;
    TTermBorderStyle borderStyle_ = bsSingle;
    TScrollStyle scrollBars_ = ssBoth;
    int columns_ = 80;
    int rows_ = 24;
    TColor altColor_ = 10921638;
    bool smoothScroll_ = false;
    bool autoSize_ = false;
    int charHeight_ = 1;
    int charWidth_ = 1;
    TTermEmulation emulation_ = teVT100orANSI;
    TTermCaret caret_ = tcBlock;
    QPoint caretPos_ {1, 1};
    QPoint savedCaretPos_ {1, 1};
    bool caretCreated_ = false;
    QPoint topLeft_ {1, 1};
    int caretHeight_ = 0;
    TColor color_ = clBlack;
    TColor fontColor_ = clWhite;
    QFont termFont_;
    Attributes attr_;
    Attributes savedAttr_;
    TComTermBuffer buffer_ {this};
    std::unique_ptr<TEscapeCodes> escapeCodes_;
    bool escapeCodesReady_ = false; // created once; from then an emulation change replaces them
    bool appCursorKeys_ = false;
    int writeDepth_ = 0; // inside Write: cell changes are gathered and shown once
    QRect dirty_;        // cells changed since the last flush
    bool updatingScroll_ = false;
};

class TComTerminal : public TCustomComTerminal {
public:
    using TCustomComTerminal::TCustomComTerminal;
};
