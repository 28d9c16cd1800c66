#pragma once
// The configuration item table: one entry per send box of the configuration
// pages, in the order a configuration is sent.
#include <array>
#include <cstdint>

class QCheckBox;
class QLabel;
class TformMain;
struct TMsgRecord;

enum TItemResult : uint8_t {
    irSent = 1,
    irValid = 2,
    irInvalid = 3,
    irDone = 4,
    irRejected = 8,
    irNotMine = 9,
    irNoneLeft = 10,
};

using TConfigValidateEvent = TItemResult (*)(TformMain* form);
// A request builder: true when it sent the request, false when it refused
// its input and sent nothing.
using TConfigRequestEvent = bool (*)(TformMain* form, uint8_t code);
using TConfigReplyCheckEvent = TItemResult (*)(TformMain* form, const TMsgRecord* msg);

struct TConfigItem {
    QCheckBox* box = nullptr;
    TConfigValidateEvent validate = nullptr;
    TConfigRequestEvent request = nullptr;
    TConfigReplyCheckEvent replyCheck = nullptr;
    uint8_t code = 0;
    QLabel* tick = nullptr;
};

constexpr int kConfigItemCount = 46;
using TConfigItems = std::array<TConfigItem, kConfigItemCount>;

// Fills the table from the window's controls (the constructor does this first).
void BuildConfigItems(TformMain* form);

// Moves to the next ticked entry after itemIndex, pauses 0.25 s and sends it:
// irSent, or irNoneLeft when no ticked entry follows. When the entry's builder
// refuses its input, the entry is refused as invalid input (RefuseInvalidEntry,
// which ends the job) and the result is irInvalid.
TItemResult SendNextConfigItem(TformMain* form);

// Invalid input in entry `index`: its tick shows the red cross, the status
// text says so with an error beep, and the job ends; nothing is sent.
void RefuseInvalidEntry(TformMain* form, int index);

// Tick labels: done (a tick in lime) and failed or invalid (a cross in red).
void ShowTickDone(QLabel* tick);
void ShowTickFailed(QLabel* tick);
