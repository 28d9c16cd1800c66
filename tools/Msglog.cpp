#include "tools/Msglog.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/Serial.h"
#include "platform/ExceptionDisplay.h"
#include "platform/ScreenFit.h"
#include "tools/DialogSizing.h"
#include "tools/LogListView.h"
#include "tools/ToolWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QShowEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

TformMsgLog* formMsgLog = nullptr;

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void PutLine(std::string& out, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        out += ' ';
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 0xF];
    }
}

} // namespace

// ============================================================== the lines

int TMsgLogModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

QVariant TMsgLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(Line(index.row()));
    return {};
}

void TMsgLogModel::Append(const uint8_t* bytes, size_t count)
{
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    bytes_.insert(bytes_.end(), bytes, bytes + count);
    ends_.push_back(uint32_t(bytes_.size()));
    endInsertRows();
}

void TMsgLogModel::Clear()
{
    beginResetModel();
    bytes_.clear();
    ends_.clear();
    bytes_.shrink_to_fit();
    ends_.shrink_to_fit();
    endResetModel();
}

std::string TMsgLogModel::Line(int row) const
{
    const uint32_t begin = row == 0 ? 0 : ends_[size_t(row) - 1];
    std::string line;
    line.reserve((ends_[size_t(row)] - begin) * 3);
    PutLine(line, bytes_.data() + begin, ends_[size_t(row)] - begin);
    return line;
}

std::string TMsgLogModel::Text() const
{
    std::string text;
    text.reserve(bytes_.size() * 3 + ends_.size());
    uint32_t begin = 0;
    for (uint32_t end : ends_) {
        PutLine(text, bytes_.data() + begin, end - begin);
        text += '\n';
        begin = end;
    }
    return text;
}

// ============================================================== the window

TformMsgLog::TformMsgLog(QWidget* owner) : QWidget(owner, Qt::Window), main_(formMain)
{
    setObjectName("formMsgLog");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(" Message Log");
    setFont(dialogsizing::PixelFont("Arial", 15));
    setGeometry(367, 225, 622, 432);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(41);
    btnClear = new QPushButton("&Clear", Panel1);
    btnClear->setObjectName("btnClear");
    btnClear->setGeometry(16, 8, 89, 25);
    btnSave = new QPushButton("&Save", Panel1);
    btnSave->setObjectName("btnSave");
    btnSave->setGeometry(136, 8, 89, 25);
    checkPause = new QCheckBox("&Pause", Panel1);
    checkPause->setObjectName("checkPause");
    checkPause->setGeometry(256, 16, 105, 17);
    checkIgnorePeriodic = new QCheckBox("&Ignore periodic messages", Panel1);
    checkIgnorePeriodic->setObjectName("checkIgnorePeriodic");
    checkIgnorePeriodic->setGeometry(344, 16, 201, 17);
    outer->addWidget(Panel1);

    lines = new TMsgLogModel(this);
    // A day's traffic is some 200,000 lines: the view's cost of an append must
    // not grow with them, which an item view's layout of every row does.
    viewMsgLog = new TLogListView(this);
    viewMsgLog->setObjectName("viewMsgLog");
    viewMsgLog->setFont(dialogsizing::PixelFont("Courier New", 12));
    viewMsgLog->setRowHeight(15);
    viewMsgLog->setModel(lines);
    outer->addWidget(viewMsgLog, 1);

    statusBar = new QStatusBar(this);
    statusBar->setObjectName("statusBar");
    statusBar->setFixedHeight(23);
    statusBar->setSizeGripEnabled(false);
    outer->addWidget(statusBar);

    dialogSave.defaultExt = "txt";
    dialogSave.filter = "Text Files (*.txt)|*.txt|Log Files (*.log)|*.log|All Fioles (*.*)|*.*";
    // As the report's: a file that exists is replaced only when the user says so.
    dialogSave.overwritePrompt = true;

    QObject::connect(btnClear, &QPushButton::clicked, this, [this] { platform::Guarded([this] { btnClearClick(); }); });
    QObject::connect(btnSave, &QPushButton::clicked, this, [this] { platform::Guarded([this] { btnSaveClick(); }); });

    ApplyLanguageAndLayout();
}

TformMsgLog::~TformMsgLog()
{
    if (formMsgLog == this)
        formMsgLog = nullptr;
}

void TformMsgLog::closeEvent(QCloseEvent* event)
{
    // The window is freed on close: from here on the frame layer must not reach it.
    if (formMsgLog == this)
        formMsgLog = nullptr;
    QWidget::closeEvent(event);
}

void TformMsgLog::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    platform::KeepOnScreenAsShown(this);
}

void TformMsgLog::ApplyLanguageAndLayout()
{
    auto text = [this](int id, const char* english) {
        return QString::fromStdString(main_ ? GetLangString(main_, id, english) : std::string(english));
    };
    setWindowTitle(" " + text(158, "Message Log"));
    btnClear->setText(text(69, "&Clear"));
    btnSave->setText(text(159, "&Save"));
    checkPause->setText(text(160, "&Pause"));

    const int w = std::max({100, CaptionWidth(this, btnClear->text()) + 24, CaptionWidth(this, btnSave->text()) + 24});
    btnClear->resize(w, btnClear->height());
    btnSave->setGeometry(btnClear->x() + w + 32, btnSave->y(), w, btnSave->height());
    // caption + 19 leaves the caption short in styles whose mark and spacing
    // take more than 19 pixels: then the style's need is taken.
    checkPause->setGeometry(btnSave->x() + w + 32, checkPause->y(),
                            std::max(CaptionWidth(this, checkPause->text()) + 19, MarkedCaptionWidth(checkPause)),
                            checkPause->height());
    checkIgnorePeriodic->setGeometry(checkPause->x() + checkPause->width() + 32, checkIgnorePeriodic->y(),
                                     std::max(201, MarkedCaptionWidth(checkIgnorePeriodic)),
                                     checkIgnorePeriodic->height());
    // Longer captions push the boxes right: the window grows to keep them in view.
    const int needed = checkIgnorePeriodic->x() + checkIgnorePeriodic->width() + 16;
    setMinimumWidth(needed);
    if (width() < needed)
        resize(needed, height());
}

void TformMsgLog::btnClearClick() { lines->Clear(); }

void TformMsgLog::btnSaveClick()
{
    const auto chosen = platform::SaveDialog(dialogSave);
    if (chosen)
        SaveText(chosen->path, lines->Text(), "The message log");
}

// ============================================================== the frame layer's entry

bool IsPeriodicMessage(const TMsgRecord& msg)
{
    const uint16_t len = msg.length;
    const uint8_t* d = msg.data;
    if (len == 2 && d[0] == 0xC0 && (d[1] == 0x78 || d[1] == 0x79))
        return true; // discovery request
    if (len >= 1 && (d[0] == 0x78 || d[0] == 0x79))
        return true; // discovery reply
    if (len == 7 && d[0] == 0xC0 && d[1] == 0x7A && d[2] == 0xCC && d[6] == 0x00)
        return true; // signal-strength request, chirp-relayed
    if (len == 4 && d[0] == 0x7A)
        return true;
    if (len == 8 && d[0] == 0x7B && d[1] == 0xCD && d[5] == 0x00)
        return true; // signal-strength reply
    if (len == 7 && d[0] == 0x7B && d[1] == 0xFF && d[5] == 0xCC && d[6] == 0x05)
        return true; // signal strength refused: not logged on to the GSM network
    return false;
}

void LogFrame(TformMsgLog* form, const TMsgRecord* msg)
{
    if (form->checkIgnorePeriodic->isChecked() && IsPeriodicMessage(*msg))
        return;
    form->lines->Append(msg->data, std::min<size_t>(msg->length, kMaxMsgData));
    if (!form->checkPause->isChecked())
        form->viewMsgLog->scrollToBottom();
}

void ApplyMessageLogOption(TformMain* form) { form->menuMessageLog->setVisible((form->distOptions & 0x2) != 0); }

void TformMain::menuMessageLogClick()
{
    ShowToolWindow(formMsgLog, this);
}
