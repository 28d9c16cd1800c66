#pragma once
// The splash window: the program's name and version with the language-pack
// suffix, shown modally while the main window is created; it closes itself
// after 3 s.
#include "platform/FormTimer.h"
#include "ui_Splashscreen.h"

#include <QDialog>
#include <QRegion>

class TformMain;

class TformSplash : public QDialog, public Ui::TformSplash {
public:
    // Texts come from the owner's language strings and captionSuffix; without
    // an owner the English texts and an empty suffix are shown.
    explicit TformSplash(TformMain* owner);
    ~TformSplash() override;

    TTimer* timerKill = nullptr;
    // What of the window shows: the picture's opaque pixels and the two texts.
    QRegion ShownRegion() const;
    void timerKillTimer(QObject* Sender);
};

// Creates the splash window, shows it modally (platform::ExecModal) and destroys
// it: the main window's create handler calls this.
void ShowSplash(TformMain* owner);
