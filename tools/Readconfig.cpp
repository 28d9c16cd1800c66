#include "tools/Readconfig.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/Requests.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/Registry.h"
#include "platform/ScreenFit.h"
#include "tools/DialogSizing.h"
#include "tools/ToolWindow.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>

TformReadConfig* formReadConfig = nullptr;

namespace {
const char* const kProductKey = "\\Software\\Drosen\\KVT Config Tool";
} // namespace

TformReadConfig::TformReadConfig(TformMain* owner) : QWidget(owner, Qt::Window), owner_(owner)
{
    setObjectName("formReadConfig");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(" Read Configuration");
    setFont(dialogsizing::PixelFont("Arial", 15));
    resize(535, 439);
    // Whatever place the settings hold, the window stays big enough to be seen.
    setMinimumSize(160, 100);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(48);
    Panel1->setFont(dialogsizing::PixelFont("Arial", 13));
    auto button = [this](const char* name, const char* caption, int left) {
        auto* b = new QPushButton(QString::fromUtf8(caption), Panel1);
        b->setObjectName(name);
        b->setGeometry(left, 9, 104, 30);
        b->setAutoDefault(false);
        return b;
    };
    btnRead = button("btnRead", "&Read", 16);
    btnClear = button("btnClear", "&Clear", 152);
    btnSave = button("btnSave", "&Save", 288);
    btnAbort = button("btnAbort", "&Abort", 416);
    btnAbort->hide();
    boxResults = new QListWidget(this);
    boxResults->setObjectName("boxResults");
    boxResults->setFont(dialogsizing::PixelFont("Arial", 15));
    boxResults->setUniformItemSizes(true);
    boxResults->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(Panel1);
    layout->addWidget(boxResults, 1);

    dialogSave.defaultExt = "txt";
    dialogSave.filter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*";
    dialogSave.overwritePrompt = true;

    auto wire = [this](QPushButton* b, void (TformReadConfig::*handler)()) {
        QObject::connect(b, &QPushButton::clicked, this,
                         [this, handler] { platform::Guarded([&] { (this->*handler)(); }); });
    };
    wire(btnRead, &TformReadConfig::btnReadClick);
    wire(btnClear, &TformReadConfig::btnClearClick);
    wire(btnSave, &TformReadConfig::btnSaveClick);
    wire(btnAbort, &TformReadConfig::btnAbortClick);

    for (size_t i = 0; i < items.size(); ++i) {
        const TReportItem& spec = kReportItems[i];
        TReadConfigItem& item = items[i];
        item.itemCode = spec.itemCode;
        if (spec.clockRequest)
            item.request = [owner](uint8_t code) { QueueClockRequest(owner, code); };
        else
            item.request = [owner](uint8_t code) { QueueConfigRequest(owner, code); };
        item.formatter = [this, format = spec.formatter](const TMsgRecord* msg) {
            TReportLines lines;
            const TItemResult r = format(Context(), *msg, lines);
            for (const std::string& line : lines)
                AddLine(line);
            return r;
        };
    }
    platform::Guarded([this] { FormCreate(); });
}

TformReadConfig::~TformReadConfig()
{
    if (formReadConfig == this)
        formReadConfig = nullptr;
}

void TformReadConfig::FormCreate()
{
    ApplyLanguage();
    LoadReadWindowPosition();
    if (!owner_ || owner_->GetSelectedRepeaterAddress() < 0)
        btnRead->setEnabled(false);
}

void TformReadConfig::ApplyLanguage()
{
    setWindowTitle(QString::fromStdString(" " + LangText(owner_, 62, 1)));
    btnRead->setText(QString::fromStdString(LangText(owner_, 161, 0)));
    btnClear->setText(QString::fromStdString(LangText(owner_, 69)));
    btnSave->setText(QString::fromStdString(LangText(owner_, 159)));
    btnAbort->setText(QString::fromStdString(LangText(owner_, 64)));
    int w = 0;
    for (QPushButton* b : {btnRead, btnClear, btnSave, btnAbort})
        w = std::max(w, CaptionWidth(this, b->text()));
    w = std::max(w + 24, 100);
    for (QPushButton* b : {btnRead, btnClear, btnSave, btnAbort})
        b->resize(w, b->height());
    btnClear->move(btnRead->x() + w + 32, btnClear->y());
    btnSave->move(btnClear->x() + w + 32, btnSave->y());
    btnAbort->move(btnRead->x(), btnAbort->y());
    // Longer captions push Save right: the window stays wide enough to show it.
    const int needed = btnSave->x() + w + btnRead->x();
    setMinimumWidth(std::max(160, needed));
    if (width() < needed)
        resize(needed, height());
}

void TformReadConfig::btnReadClick()
{
    const int32_t a = owner_->GetSelectedRepeaterAddress();
    if (a < 0) {
        owner_->SetStatusText("  " + GetLangString(owner_, 148, "No Repeater selected"));
        platform::MessageBeep(platform::MB_ICONHAND);
        owner_->EndOperation();
        return;
    }
    owner_->EnableControls(false);
    const TReportContext context = Context();
    if (boxResults->count() > 0)
        AddLine("");
    AddLine(ReportHeading(context, a));
    AddLine("");
    itemIndex = 0;
    items[0].request(items[0].itemCode);
    // Only now: the first reply must meet the read-back state, never the one before.
    owner_->opState = osReadConfig;
    btnRead->hide();
    btnAbort->show();
}

void TformReadConfig::btnAbortClick()
{
    AddLine(ReportStoppedLine(Context()));
    btnAbort->hide();
    btnRead->show();
    owner_->EndOperation();
}

void TformReadConfig::btnClearClick() { boxResults->clear(); }

void TformReadConfig::btnSaveClick()
{
    const auto chosen = platform::SaveDialog(dialogSave);
    if (!chosen)
        return;
    std::string text;
    for (const std::string& line : Lines())
        text += line + "\n";
    SaveText(chosen->path, text, "The report");
}

void TformReadConfig::closeEvent(QCloseEvent* event)
{
    FormClose();
    // The window is freed on close: a reply handled before it is gone must
    // find no window and end the read, not send the next request.
    if (formReadConfig == this)
        formReadConfig = nullptr;
    event->accept();
}

void TformReadConfig::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    platform::KeepOnScreenAsShown(this);
}

void TformReadConfig::FormClose()
{
    // A window whose place cannot be kept still closes.
    platform::Guarded([this] { SaveReadWindowPosition(); });
}

void TformReadConfig::SaveReadWindowPosition()
{
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CURRENT_USER);
    reg.OpenKey(kProductKey, true);
    reg.WriteInteger("Read Top", y());
    reg.WriteInteger("Read Height", height());
    reg.WriteInteger("Read Left", x());
    reg.WriteInteger("Read Width", width());
    reg.CloseKey();
}

void TformReadConfig::LoadReadWindowPosition()
{
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CURRENT_USER);
    try {
        if (!reg.OpenKeyReadOnly(kProductKey))
            return;
        // Each value is applied as it is read: a missing one stops here and
        // what was read before it stays.
        move(x(), reg.ReadInteger("Read Top"));
        resize(width(), reg.ReadInteger("Read Height"));
        move(reg.ReadInteger("Read Left"), y());
        resize(reg.ReadInteger("Read Width"), height());
        reg.CloseKey();
    } catch (const ERegistryException&) {
    }
}

void TformReadConfig::AddLine(const std::string& line)
{
    auto* item = new QListWidgetItem(QString::fromStdString(line));
    item->setSizeHint(QSize(0, 20)); // rows of a fixed 20 pixels
    boxResults->addItem(item);
}

std::vector<std::string> TformReadConfig::Lines() const
{
    std::vector<std::string> lines;
    lines.reserve(size_t(boxResults->count()));
    for (int i = 0; i < boxResults->count(); ++i)
        lines.push_back(boxResults->item(i)->text().toStdString());
    return lines;
}

TReportContext TformReadConfig::Context() const
{
    TReportContext c;
    if (owner_) {
        c.strings = &owner_->langStrings;
        auto captions = [](const QComboBox* combo) {
            std::vector<std::string> list;
            for (int i = 0; i < combo->count(); ++i)
                list.push_back(combo->itemText(i).toStdString());
            return list;
        };
        c.gsmBands = captions(owner_->comboGsmBand);
        c.regions = captions(owner_->comboRegion);
        c.reportFormats = captions(owner_->comboReportFormat);
        c.smsRxDurations = captions(owner_->comboSmsRxDuration);
    }
    // The program's locale: the regional settings unless the program (or a
    // test) has set another.
    const QLocale locale;
    for (int d = 0; d < 7; ++d)
        c.longDayNames[size_t(d)] = locale.dayName(d == 0 ? 7 : d, QLocale::LongFormat).toStdString();
    for (int m = 0; m < 12; ++m)
        c.shortMonthNames[size_t(m)] = locale.monthName(m + 1, QLocale::ShortFormat).toStdString();
    const time_t now = std::chrono::system_clock::to_time_t(platform::WallClockNow());
    localtime_r(&now, &c.readOn);
    return c;
}

void ReadConfigJobEnded(TformReadConfig* form)
{
    form->btnRead->setVisible(true);
    form->btnAbort->setVisible(false);
}

void ReadConfigJobFailed(TformReadConfig* form, const std::string& reason)
{
    form->AddLine(ReportFailedLine(reason));
    form->boxResults->scrollToBottom();
}

void ReadConfigEnableControls(TformReadConfig* form, bool enable)
{
    for (QPushButton* b : {form->btnRead, form->btnClear, form->btnSave})
        b->setEnabled(enable);
}

void ReadConfigEnableRead(TformReadConfig* form, bool enable) { form->btnRead->setEnabled(enable); }

// ============================================================== the main window's menu entry

void TformMain::menuReadConfigClick()
{
    ShowToolWindow(formReadConfig, this);
}
