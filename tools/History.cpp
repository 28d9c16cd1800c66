#include "tools/History.h"

#include "tools/DialogSizing.h"

#include <QPlainTextEdit>
#include <QPushButton>

TformHistory* formHistory = nullptr;

namespace {
constexpr int kBorderWidth = 16;
constexpr int kClientWidth = 725;
constexpr int kClientHeight = 454;

constexpr const char* kHistory =
    "Version History\n"
    "===============\n"
    "\n"
    "V1.01\n"
    "  - Bluetooth response timeout can be set in the administrator options.\n"
    "  - Patrol duration of the RF test can be set in the administrator options.\n"
    "  - The message log can be allowed in the distributor options.\n"
    "  - Language packs: the version of the pack is shown in the title bar and in About.\n"
    "  - Read-back of a repeater's configuration into a report that can be saved.\n"
    "  - Debug counters and logs can be read from a repeater.\n"
    "\n"
    "V1.00\n"
    "  - First release: configuration, deployment, abandon and sleep of SMS repeaters\n"
    "    through the Vigilator Interface Unit.\n"
    "  - RF test with logger database, GSM log-on, log-off, test SMS and FTP test.\n"
    "  - Configuration files (*.kvt) can be loaded and saved.\n";
} // namespace

TformHistory::TformHistory(QWidget* owner) : QDialog(owner)
{
    setObjectName("formHistory");
    dialogsizing::SetFixedDialogFlags(this);
    setWindowTitle("Version History Information");
    dialogsizing::SetPixelSize(this, 13);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(kBorderWidth, kBorderWidth, kClientWidth, 407);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    dialogsizing::SetPixelSize(Memo1, 12);
    Memo1->setPlainText(kHistory);

    BitBtn1 = new QPushButton("&OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->resize(75, 25);
    BitBtn1->move(kBorderWidth + (kClientWidth - BitBtn1->width()) / 2, kBorderWidth + kClientHeight - 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(1); });

    setFixedSize(kClientWidth + 2 * kBorderWidth, kClientHeight + 2 * kBorderWidth);
}

TformHistory::~TformHistory() = default;

void TformHistory::reject()
{
    done(2);
}
