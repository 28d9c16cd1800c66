#pragma once
// The user-guide reminder shown once the main window is up: it asks the user
// to read the guide, opens the guide's PDF when one is at hand, and lets the
// user switch the reminder off.
#include "ui_Rtfm.h"

#include <QDialog>

class TformMain;

// File name pattern of the user guide, searched for in the current directory.
inline constexpr const char* kUserGuidePattern = "UGD-317-2045*.pdf";

class TformRTFM : public QDialog, public Ui::TformRTFM {
public:
    // Texts come from the owner's language strings (English without an owner).
    explicit TformRTFM(TformMain* owner);
    ~TformRTFM() override;

    // Modal results: 1 when "Do not show this message again" is ticked, 2 when not.
    static constexpr int kResultNoShow = 1;
    static constexpr int kResultShowAgain = 2;

    void ApplyLanguage();
    void labelUserGuideClick();
    void labelUserGuideMouseEnter();
    void labelUserGuideMouseLeave();

    // However the window closes (OK, close box, Escape), the result is the box's.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TformMain* form_;
};

// Creates the window, shows it modally (platform::ExecModal), destroys it and
// returns its modal result (1: do not show again).
int ShowRtfm(TformMain* owner);
