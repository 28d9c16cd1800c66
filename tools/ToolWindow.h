#pragma once
// What the main window's tool windows share: one window of a kind at a time,
// and saving their text to a file.
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"

#include <cstring>
#include <string>

// Opens the tool window `form` of `owner`, or brings the one open to the front.
template <class W, class Owner>
void ShowToolWindow(W*& form, Owner* owner)
{
    if (!form) {
        form = new W(owner);
        form->show();
        return;
    }
    form->show();
    form->raise();
    form->activateWindow();
}

// Writes `text` as the file `path`; when that fails the file is left as it
// was and the user is told why ("`what` could not be saved to ...").
inline void SaveText(const std::string& path, const std::string& text, const std::string& what)
{
    if (const platform::AtomicWriteError failed = platform::WriteFileAtomically(path, text)) {
        platform::MessageBeep(platform::MB_ICONHAND);
        platform::MessageDlg(what + " could not be saved to " + path + ": " + failed.StepText() + ": " +
                                 std::strerror(failed.error) + ".\nThe file was not changed.",
                             platform::MsgDlgType::Error, platform::mbOK);
    }
}
