#pragma once
// The terminal's escape codes: parsers that are fed received characters one
// at a time and report a plain character or a recognised escape code with its
// parameters, and generators that turn a code back into the characters to send.
// Two families: VT52 and VT100 (ANSI). The terminal decides what a code does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A list of texts: the parameters of an escape code, as decimal texts.
using TStrings = std::vector<std::string>;

enum TEscapeResult : uint8_t { erChar, erCode, erNothing };

enum TEscapeCode : uint8_t {
    ecUnknown, ecNotCompleted, ecCursorUp, ecCursorDown, ecCursorLeft, ecCursorRight, ecCursorHome,
    ecCursorMove, ecReverseLineFeed, ecAppCursorLeft, ecAppCursorRight, ecAppCursorUp, ecAppCursorDown,
    ecEraseLineFrom, ecEraseScreenFrom, ecEraseLine, ecEraseScreen, ecSetTab, ecClearTab, ecClearAllTabs,
    ecIdentify, ecIdentResponse, ecQueryDevice, ecReportDeviceOK, ecReportDeviceFailure, ecQueryCursorPos,
    ecReportCursorPos, ecAttributes, ecSetMode, ecResetMode, ecReset, ecSaveCaretAndAttr,
    ecRestoreCaretAndAttr, ecSaveCaret, ecRestoreCaret, ecTest
};
inline constexpr int kEscapeCodeCount = ecTest + 1;

class TEscapeCodes {
public:
    TEscapeCodes() = default;
    virtual ~TEscapeCodes() = default;
    TEscapeCodes(const TEscapeCodes&) = delete;
    TEscapeCodes& operator=(const TEscapeCodes&) = delete;

    // Feeds one received character.
    virtual TEscapeResult ProcessChar(char Ch) = 0;
    // The sequence that sends Code; empty for a code the family does not produce.
    virtual std::string EscCodeToStr(TEscapeCode ACode, const TStrings* AParams) = 0;

    // The Num-th parameter (from 1) as an integer; 1 when Params is null, has
    // fewer entries, or the text is not an integer that fits in 32 bits.
    static int32_t GetParam(int Num, const TStrings* Params);

    // A sequence left unfinished this long ends as ecUnknown: a peer must not
    // make the parser collect without limit.
    static constexpr size_t kMaxSequence = 4096;

    char Character = 0;         // the last plain character
    TEscapeCode Code = ecUnknown; // the last recognised code
    TStrings Params;              // parameters of the last code; the caller clears them

    // The sequence collected so far, without the leading ESC.
    const std::string& Data() const { return data_; }
    bool InSequence() const { return inSequence_; }

protected:
    // The common step of both families; Classify looks at data_.
    TEscapeResult Step(char Ch);
    virtual TEscapeCode Classify() = 0;
    virtual void LeaveSequence() { inSequence_ = false; }

    std::string data_;
    bool inSequence_ = false;
};

class TEscapeCodesVT52 : public TEscapeCodes {
public:
    TEscapeResult ProcessChar(char Ch) override { return Step(Ch); }
    std::string EscCodeToStr(TEscapeCode ACode, const TStrings* AParams) override;
    TEscapeCode DetectCode(const std::string& Str);

protected:
    TEscapeCode Classify() override { return DetectCode(data_); }
};

class TEscapeCodesVT100 : public TEscapeCodes {
public:
    TEscapeResult ProcessChar(char Ch) override { return Step(Ch); }
    std::string EscCodeToStr(TEscapeCode ACode, const TStrings* AParams) override;
    TEscapeCode DetectCode(const std::string& Str);
    // The sequence after ESC "[".
    TEscapeCode DetectExtCode(const std::string& Str);
    bool InCSI() const { return inCSI_; }

protected:
    TEscapeCode Classify() override;
    void LeaveSequence() override
    {
        inSequence_ = false;
        inCSI_ = false;
    }

private:
    bool inCSI_ = false;
};
