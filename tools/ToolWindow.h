#pragma once
// What the main window's tool windows share: one window of a kind at a time.

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
