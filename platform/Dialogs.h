#pragma once
// Message dialogs and system beeps, with test hooks: end-to-end tests record
// what the user would have seen and heard, and answer dialogs themselves.
#include <cstdint>
#include <functional>
#include <string>

class QMessageBox;

namespace platform {

// The title of every message box: the program's title (set once at start),
// not the name of its executable.
void SetApplicationTitle(const std::string& title);
std::string ApplicationTitle();

// Makes a message box's text as wide as its widest line, up to half the
// screen; text wider than that wraps at its blanks into lines of even length,
// so that no word is left alone on the last one, and never narrower than its
// widest word (a word wider than half the screen wraps). The box is wide
// enough for its title.
void FitToText(QMessageBox& box);

enum class MsgDlgType { Warning, Error, Information, Confirmation, Custom };

// Buttons of a message dialog, and its results.
enum MsgDlgButton : uint32_t { mbYes = 0x1, mbNo = 0x2, mbOK = 0x4, mbCancel = 0x8 };
enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

// Shows a modal message dialog; returns the button pressed.
int MessageDlg(const std::string& text, MsgDlgType type, uint32_t buttons);

using MessageDlgHook = std::function<int(const std::string& text, MsgDlgType type, uint32_t buttons)>;
void SetMessageDlgHook(MessageDlgHook hook);

// MB_ICONHAND (0x10) is the error beep, MB_ICONASTERISK (0x40) the information beep.
constexpr uint32_t MB_ICONHAND = 0x10;
constexpr uint32_t MB_ICONASTERISK = 0x40;
void MessageBeep(uint32_t type);

using BeepHook = std::function<void(uint32_t type)>;
void SetBeepHook(BeepHook hook);

} // namespace platform
