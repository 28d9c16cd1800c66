#include "tools/Comms.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "platform/Modal.h"
#include "serial/PortControls.h"
#include "tools/DialogSizing.h"

#include <QGroupBox>
#include <QPushButton>
#include <QScopeGuard>
#include <algorithm>
#include <memory>

using namespace dialogsizing;

TformComms* formComms = nullptr;

namespace {
constexpr int kBorderWidth = 16;
constexpr int kClientWidth = 315;
constexpr int kClientHeight = 161;
constexpr int kGroupHeight = 121;
constexpr int kComboWidth = 265;
constexpr int kMargin = 24; // of the list and the test button inside the group
} // namespace

TformComms::TformComms(TformMain* owner) : QDialog(owner), form_(owner)
{
    clientArea = MakeDialogFrame(this, "formComms", kBorderWidth, kClientWidth, kClientHeight);

    btnOk = new QPushButton(clientArea);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(152, 136, 75, 25);
    btnOk->setDefault(true);

    btnCancel = new QPushButton(clientArea);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(240, 136, 75, 25);
    ConnectOkCancel(this, btnOk, btnCancel);

    groupInterface = new QGroupBox(clientArea);
    groupInterface->setObjectName("groupInterface");
    groupInterface->setGeometry(0, 0, kClientWidth, kGroupHeight);
    SetPixelSize(groupInterface, 15);

    comboPortVigilator = new TComComboBox(groupInterface);
    comboPortVigilator->setObjectName("comboPortVigilator");
    comboPortVigilator->setGeometry(kMargin, 24, kComboWidth, comboPortVigilator->sizeHint().height());
    // The list of the ports present, then the binding, which selects the port's name.
    comboPortVigilator->SetComProperty(cpPort);
    comboPortVigilator->SetAutoApply(false);
    if (owner)
        comboPortVigilator->SetComPort(owner->portVigilator);

    btnCheckVigilator = new QPushButton(groupInterface);
    btnCheckVigilator->setObjectName("btnCheckVigilator");
    btnCheckVigilator->setGeometry(24, 72, 123, 25);
    btnCheckVigilator->setEnabled(false);

    FormCreate();
    comboPortVigilator->setFocus();
}

TformComms::~TformComms() = default;

void TformComms::FormCreate()
{
    ApplyLanguage();
}

void TformComms::ApplyLanguage()
{
    auto text = [this](int id, int variant = 0) { return QString::fromStdString(LangText(form_, id, variant)); };
    setWindowTitle(" " + text(4, 1));
    groupInterface->setTitle("  " + text(14) + "  ");
    btnCheckVigilator->setText(text(71));
    btnOk->setText(text(15));
    btnCancel->setText(text(16));

    // Measured in the group's larger font, in which the button draws its caption.
    SetWidth(btnCheckVigilator, std::max(75, CaptionWidth(btnCheckVigilator, btnCheckVigilator->text()) + 24));
    const int buttons = SharedButtonWidth({btnOk, btnCancel}, 75, 48);
    // Texts longer than the window holds widen it; the English ones fit its design width.
    const int clientWidth =
        std::max({kClientWidth, 2 * buttons + 16, btnCheckVigilator->width() + 2 * kMargin,
                  CaptionWidth(groupInterface, groupInterface->title()) + 2 * kMargin});
    FitClientWidth(this, clientArea, clientWidth, {groupInterface}, btnOk, btnCancel);
    SetWidth(comboPortVigilator, kComboWidth + clientWidth - kClientWidth);
    btnCheckVigilator->move(groupInterface->width() / 2 - btnCheckVigilator->width() / 2, btnCheckVigilator->y());
}

void TformComms::reject()
{
    done(2);
}

void TformComms::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    dialogsizing::CentreOnScreen(this);
}

void TformMain::menuCommsClick()
{
    const auto forget = qScopeGuard([] { formComms = nullptr; });
    const std::unique_ptr<TformComms> window(formComms = new TformComms(this));
    window->comboPortVigilator->UpdateSettings();
    if (platform::ExecModal(*window) != 1)
        return;
    portVigilator->Close();
    // With no entry chosen (the port's name is not among those listed: a
    // path, a Bluetooth port that is away) the port keeps its name: an empty
    // one would replace a working port and be saved at close.
    if (window->comboPortVigilator->ItemIndex() > -1)
        window->comboPortVigilator->ApplySettings();
    menuConnectClick();
}
