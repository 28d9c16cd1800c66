// The jobs the main window starts: configuration, single send and abort,
// deploy, abandon, sleep and the ECU state; repeater selection and the
// signal-strength poll.
#include "app/Languages.h"
#include "app/Main.h"
#include "app/Validate.h"
#include "link/Requests.h"
#include "link/Responses.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "tools/Readconfig.h"
#include "tools/Readdebuglogs.h"

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QHeaderView>
#include "platform/SymbolFont.h"

namespace {

void Refuse(TformMain* form, int id, const char* english)
{
    form->SetStatusText("  " + GetLangString(form, id, english));
    platform::MessageBeep(platform::MB_ICONHAND);
}

void RefuseNoRepeater(TformMain* form) { Refuse(form, 148, "No Repeater selected"); }

// Deploy, abandon and the ECU state begin by reading the repeater's ECU
// options; the state to enter with them waits in pendingEcuOp.
void StartEcuOptionsJob(TformMain* form, TOpState next, bool greyControls)
{
    if (greyControls)
        form->EnableControls(false);
    form->pendingEcuOp = next;
    form->opState = osEcuOptionsRead;
    QueueCheckOptions(form);
    if (greyControls) {
        form->btnConfig->hide();
        form->btnAbort->show();
        form->btnAbort->setEnabled(true);
    }
}

} // namespace

namespace {
class DatabaseDelegate;
QStyledItemDelegate* NewDatabaseDelegate(QObject* parent);
} // namespace

void TformMain::WireJobs()
{
    auto on = [this](auto* sender, auto signal, auto handler) {
        QObject::connect(sender, signal, this, [this, handler](auto&&...) { platform::Guarded([&] { (this->*handler)(); }); });
    };
    on(btnConfig, &QPushButton::clicked, &TformMain::btnConfigClick);
    on(btnAbort, &QPushButton::clicked, &TformMain::btnAbortClick);
    on(btnDeploy, &QPushButton::clicked, &TformMain::btnDeployClick);
    on(btnAbandon, &QPushButton::clicked, &TformMain::btnAbandonClick);
    on(btnSleep, &QPushButton::clicked, &TformMain::btnSleepClick);
    on(btnEcuActive, &QPushButton::clicked, &TformMain::btnEcuActiveClick);
    on(boxEcuUsesSerial, &QCheckBox::toggled, &TformMain::boxEcuUsesSerialClick);
    on(menuSendSingleMsg, &QAction::triggered, &TformMain::menuSendSingleMsgClick);
    on(menuReadConfig, &QAction::triggered, &TformMain::menuReadConfigClick);
    on(menuMessageLog, &QAction::triggered, &TformMain::menuMessageLogClick);
    on(boxRepeaters, &QListWidget::itemClicked, &TformMain::boxRepeatersClick);
    on(btnClearDatabase, &QPushButton::clicked, &TformMain::btnClearDatabaseClick);
    on(btnPatrol, &QPushButton::clicked, &TformMain::btnPatrolClick);
    on(btnReadDatabase, &QPushButton::clicked, &TformMain::btnReadDatabaseClick);
    on(btnLogOn, &QPushButton::clicked, &TformMain::btnLogOnClick);
    on(btnLogOff, &QPushButton::clicked, &TformMain::btnLogOffClick);
    on(btnRequestTestSms, &QPushButton::clicked, &TformMain::btnRequestTestSmsClick);
    on(btnTestFtp, &QPushButton::clicked, &TformMain::btnTestFtpClick);
    on(menuViewLogs, &QAction::triggered, &TformMain::menuViewLogsClick);
    on(menuOptions, &QAction::triggered, &TformMain::menuOptionsClick);
    on(menuComms, &QAction::triggered, &TformMain::menuCommsClick);
    on(menuAbout, &QAction::triggered, &TformMain::menuAboutClick);
    on(menuShowHints, &QAction::triggered, &TformMain::menuShowHintsClick);
    on(menuLoad, &QAction::triggered, &TformMain::menuLoadClick);
    on(menuSave, &QAction::triggered, &TformMain::menuSaveClick);

    // The up-down shows only its arrows: which one was pressed is the
    // direction of its value's change.
    // Its own range is not used: it is put back in the middle after each
    // press, so it never runs into an end.
    spinnerSerialNum->setRange(-1, 1);
    spinnerSerialNum->setValue(0);
    QObject::connect(spinnerSerialNum, &QSpinBox::valueChanged, this, [this](int value) {
        const bool up = value > 0;
        const QSignalBlocker quiet(spinnerSerialNum);
        spinnerSerialNum->setValue(0);
        platform::Guarded([&] { spinnerSerialNumClick(up); });
    });

    // The time-zone up-down shows its position in the edit beside it.
    editTimezone->setText(QString::number(spinnerTimeZone->value()));
    QObject::connect(spinnerTimeZone, &QSpinBox::valueChanged, this,
                     [this](int value) { editTimezone->setText(QString::number(value)); });

    // The popup menu of the item boxes and the two alarm boxes.
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        if (box->contextMenuPolicy() != Qt::CustomContextMenu)
            continue;
        QObject::connect(box, &QWidget::customContextMenuRequested, this, [this, box](const QPoint& at) {
            popupBox = box;
            menuPopup->exec(box->mapToGlobal(at));
        });
    }

    viewDatabase->setItemDelegate(NewDatabaseDelegate(viewDatabase));
    // A click on a column header sorts by that column.
    viewDatabase->header()->setSectionsClickable(true);
    QObject::connect(viewDatabase->header(), &QHeaderView::sectionClicked, this,
                     [this](int column) { platform::Guarded([&] { viewDatabaseColumnClick(column); }); });

    timerRssiReq->SetOnTimer([this](QObject* s) { timerRssiReqTimer(s); });
    timerRssiReq->SetEnabled(true);
}

// ============================================================== configuration

void TformMain::SetTicksVisible(bool visible)
{
    for (TConfigItem& item : configItems)
        if (item.tick)
            item.tick->setVisible(visible);
}

void TformMain::btnConfigClick()
{
    if (!portVigilator->Connected()) {
        Refuse(this, 178, "Not connected to a Vigilator");
        return;
    }
    EnableControls(false);
    if (GetSelectedRepeaterAddress() < 0) {
        RefuseNoRepeater(this);
        EndOperation();
        return;
    }
    SetTicksVisible(false);
    TItemResult result = irValid;
    bool anyTicked = false;
    int i = 0;
    for (; result == irValid && i < kConfigItemCount; ++i) {
        TConfigItem& item = configItems[size_t(i)];
        if (item.box->isHidden())
            item.box->setChecked(false);
        if (item.box->isChecked()) {
            anyTicked = true;
            result = ValidateEntryInput(this, i);
        }
        if (result != irValid)
            break;
    }
    if (!anyTicked) {
        Refuse(this, 179, "No configurations selected");
        EndOperation();
        return;
    }
    if (result != irValid) {
        RefuseInvalidEntry(this, i);
        return;
    }
    jobStartTime = platform::DateTimeNow();
    opState = osCalibrationCheck;
    SendPoll(this);
    SetStatusText("  " + GetLangString(this, 182, "Checking Repeater calibration"));
    btnConfig->hide();
    btnAbort->show();
}

void TformMain::btnAbortClick()
{
    SetStatusText("  " + GetLangString(this, 183, "Action aborted by user"));
    EndOperation();
}

void TformMain::menuSendSingleMsgClick()
{
    if (GetSelectedRepeaterAddress() < 0) {
        RefuseNoRepeater(this);
        return;
    }
    int index = -1;
    for (int i = 0; i < kConfigItemCount; ++i)
        if (configItems[size_t(i)].box == popupBox)
            index = i;
    if (index < 0)
        return;
    TConfigItem& item = configItems[size_t(index)];
    EnableControls(false);
    SetTicksVisible(false);
    if (ValidateEntryInput(this, index) != irValid) {
        RefuseInvalidEntry(this, index);
        return;
    }
    jobStartTime = platform::DateTimeNow();
    itemIndex = index;
    if (!item.request(this, item.code)) {
        RefuseInvalidEntry(this, index);
        return;
    }
    if (item.box == boxLowNoiseAmp)
        opState = osSingleLnaOptions;
    else if (item.box == boxReportFormat)
        opState = osSingleReportFormat;
    else
        opState = osSingleItem;
    btnConfig->hide();
    btnAbort->show();
}

// ============================================================== deploy, abandon, sleep, ECU

void TformMain::btnDeployClick()
{
    if (GetSelectedRepeaterAddress() < 0) {
        RefuseNoRepeater(this);
        EndOperation();
        return;
    }
    StartEcuOptionsJob(this, osDeploy, true);
}

void TformMain::btnAbandonClick()
{
    if (GetSelectedRepeaterAddress() < 0) {
        RefuseNoRepeater(this);
        EndOperation();
        return;
    }
    if (adminOptions & 0x8) {
        const std::string text =
            GetLangString(this, 186, "If you Abandon this deployment, the Repeater will be permanently disabled") + "\n" +
            GetLangString(this, 187, "until a successful Deployment has been performed.") + "\n\n" +
            GetLangString(this, 188, "Are you sure you want to Abandon this deployment?");
        if (platform::MessageDlg(text, platform::MsgDlgType::Warning, platform::mbYes | platform::mbNo) !=
            platform::mrYes)
            return;
    }
    StartEcuOptionsJob(this, osAbandon, true);
}

// The ECU state and sleep commands address the selected repeater the way
// every other command does.
void TformMain::btnEcuActiveClick()
{
    if (GetSelectedRepeaterAddress() < 0) {
        RefuseNoRepeater(this);
        return;
    }
    StartEcuOptionsJob(this, osEcuActive, false);
}

void TformMain::btnSleepClick()
{
    if (GetSelectedRepeaterAddress() < 0) {
        RefuseNoRepeater(this);
        return;
    }
    opState = osSleep;
    QueueSleep(this);
}

void TformMain::spinnerSerialNumClick(bool up)
{
    bool ok = false;
    long long n = editSerialNum->text().trimmed().toLongLong(&ok);
    if (!ok || n < 0)
        return;
    if (up && n < 16777215)
        ++n;
    else if (!up && n > 0)
        --n;
    editSerialNum->setText(QString::asprintf("%08lld", n));
}

void TformMain::boxEcuUsesSerialClick()
{
    const bool enabled = !boxEcuUsesSerial->isChecked();
    editEcuNum->setEnabled(enabled);
    QPalette p = editEcuNum->palette();
    p.setColor(QPalette::Base, enabled ? palette().color(QPalette::Base) : palette().color(QPalette::Button));
    editEcuNum->setPalette(p);
}

// ============================================================== selection and signal strength

void TformMain::boxRepeatersClick()
{
    if (GetSelectedRepeaterAddress() < 0)
        return;
    const uint32_t address = uint32_t(repeaterAddr[0]) << 16 | uint32_t(repeaterAddr[1]) << 8 | repeaterAddr[2];
    textSelectedRepeater->setText(QString::fromStdString(IdPicture(address)));
    textRssiError->setText(QString::fromStdString(GetLangString(this, 63, "Wait") + " ..."));
    rssiMisses = 0;
    for (QPushButton* b : {btnConfig, btnDeploy, btnAbandon, btnClearDatabase, btnPatrol, btnReadDatabase})
        b->setEnabled(true);
    if (formReadConfig)
        ReadConfigEnableRead(formReadConfig, true);
    if (formDebugLogs)
        DebugLogsEnableReads(formDebugLogs, true);
    if ((adminOptions & 0x4) && opState == osIdle) {
        const std::string kept = StatusText();
        QueueTime(this, 0);
        StopReplyTimer();
        SetStatusText(kept);
    }
}

void TformMain::timerRssiReqTimer(QObject*)
{
    if (opState != osIdle || GetSelectedRepeaterAddress() < 0)
        return;
    if (rssiMisses > 4) {
        rssiMisses = 0;
        guageRssi->hide();
        textRssiValue->hide();
        textRssiError->setText(
            QString::fromStdString("<" + GetLangString(this, 184, "No Response From Repeater") + ">"));
        textRssiError->show();
    }
    ++rssiMisses;
    SendRssiRequest(this);
}

// ============================================================== the logger database view

namespace {

int LeadingInteger(const QString& text)
{
    // The text without its last character, as an integer; 0 when it is not one.
    bool ok = false;
    const int value = text.left(std::max<int>(0, int(text.size()) - 1)).toInt(&ok);
    return ok ? value : 0;
}

QFont DatabaseCellFont() { return QFont("Arial", 10); }

// Colours and fonts of the database cells by column, and the alternating rows.
class DatabaseDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->font = DatabaseCellFont();
        if (index.row() % 2 == 1)
            option->backgroundBrush = option->palette.brush(QPalette::Button);
        const int column = index.column();
        if (column < 1)
            return;
        option->displayAlignment = Qt::AlignCenter;
        // Only rows with exactly ten sub-items are coloured: each row counts its own.
        const auto* view = qobject_cast<const QTreeWidget*>(parent());
        const QTreeWidgetItem* row = view ? view->itemFromIndex(index) : nullptr;
        if (!row || row->columnCount() - 1 != 10)
            return;
        const QString text = index.data().toString();
        const QColor red(255, 0, 0), green(0, 0x80, 0), nearlyBlack(1, 0, 0);
        QColor colour = option->palette.color(QPalette::Text);
        switch (column) {
        case 1: colour = LeadingInteger(text) < 20 ? red : green; break;
        case 4: colour = text == "L" ? red : green; break;
        case 7:
            if (text == QString(QChar(0xFB)) || text == platform::SymbolGlyph(0xFB))
                colour = red;
            else if (text == QString(QChar(0xFC)) || text == platform::SymbolGlyph(0xFC))
                colour = green;
            break;
        case 8:
        case 9:
        case 10:
            colour = text.isEmpty() ? green : (text == "%" || text == platform::SymbolGlyph('%')) ? red : nearlyBlack;
            break;
        default: colour = nearlyBlack; break;
        }
        option->palette.setColor(QPalette::Text, colour);
        // The battery and alarm cells keep symbol-font codes; they are drawn as glyphs.
        if (column >= 7 && !text.isEmpty())
            option->text = platform::SymbolText(text.toLatin1().toStdString());
    }
};

QStyledItemDelegate* NewDatabaseDelegate(QObject* parent) { return new DatabaseDelegate(parent); }

} // namespace

int DatabaseCellWidth(const QTreeWidget* view, const QString& text)
{
    // As the delegate draws a cell: in its font, with the style's margins.
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = DatabaseCellFont();
    option.fontMetrics = QFontMetrics(option.font);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    option.displayAlignment = Qt::AlignCenter;
    return view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view).width();
}

void TformMain::viewDatabaseColumnClick(int column)
{
    if (column != sortColumn) {
        sortColumn = uint8_t(column);
        sortAscending = 1;
    } else {
        sortAscending = sortAscending ? 0 : 1;
    }
    // The selected rows and the current one stay so after the sort.
    const QList<QTreeWidgetItem*> selected = viewDatabase->selectedItems();
    QTreeWidgetItem* const current = viewDatabase->currentItem();
    QList<QTreeWidgetItem*> rows;
    while (viewDatabase->topLevelItemCount() > 0)
        rows.append(viewDatabase->takeTopLevelItem(0));
    std::stable_sort(rows.begin(), rows.end(),
                     [this](const QTreeWidgetItem* a, const QTreeWidgetItem* b) { return viewDatabaseCompare(a, b) < 0; });
    viewDatabase->addTopLevelItems(rows);
    if (current)
        viewDatabase->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    for (QTreeWidgetItem* row : selected)
        row->setSelected(true);
    if (current)
        viewDatabase->scrollToItem(current);
}

int TformMain::viewDatabaseCompare(const QTreeWidgetItem* item1, const QTreeWidgetItem* item2) const
{
    const QTreeWidgetItem* a = sortAscending ? item1 : item2;
    const QTreeWidgetItem* b = sortAscending ? item2 : item1;
    const int column = sortColumn;
    switch (column) {
    case 1: return LeadingInteger(a->text(1)) - LeadingInteger(b->text(1));
    case 3: return int32_t(a->data(3, Qt::UserRole).toLongLong() - b->data(3, Qt::UserRole).toLongLong());
    case 5:
    case 6: return (a->text(column).toInt() & 0xFF) - (b->text(column).toInt() & 0xFF);
    default: return QString::localeAwareCompare(a->text(column), b->text(column));
    }
}
