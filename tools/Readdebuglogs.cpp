#include "tools/Readdebuglogs.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/Requests.h"
#include "link/Serial.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/ScreenFit.h"
#include "tools/DialogSizing.h"
#include "tools/MultiRowTabs.h"
#include "tools/ToolWindow.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

TformDebugLogs* formDebugLogs = nullptr;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

TformDebugLogs::TformDebugLogs(QWidget* owner) : QWidget(owner, Qt::Window), main_(formMain)
{
    setObjectName("formDebugLogs");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(" View Debug Logs");
    resize(712, 417);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setFixedHeight(48);
    Panel1->setFont(dialogsizing::PixelFont("Arial", 13));
    btnReadAll = new QPushButton("&Read All", Panel1);
    btnReadAll->setObjectName("btnReadAll");
    btnReadAll->setGeometry(16, 9, 104, 30);
    btnAbort = new QPushButton("&Abort", Panel1);
    btnAbort->setObjectName("btnAbort");
    btnAbort->setGeometry(120, 9, 104, 30);
    btnAbort->hide();
    // The two buttons and the label that measures their captions share one font.
    for (QPushButton* b : {btnReadAll, btnAbort})
        b->setFont(dialogsizing::PixelFont("Arial", 15));
    textDummy = new QLabel("Dummy Text", Panel1);
    textDummy->setFont(dialogsizing::PixelFont("Arial", 15));
    textDummy->hide();
    outer->addWidget(Panel1);

    // Tabs that do not fit in one row wrap into more rows: every tab stays in view.
    pageControl = new TMultiRowTabs(this);
    pageControl->setObjectName("pageControl");
    pageControl->setFont(dialogsizing::PixelFont("Arial", 13));
    outer->addWidget(pageControl, 1);

    tabSummary = new QWidget();
    tabSummary->setObjectName("tabSummary");
    btnReadCounters = new QPushButton("Read", tabSummary);
    btnReadCounters->setObjectName("btnReadCounters");
    btnReadCounters->setGeometry(8, 8, 75, 25);
    for (size_t i = 0; i < kDebugCounters.size(); ++i) {
        const int top = 48 + 24 * int(i);
        counterNames[i] = new QLabel(tabSummary);
        counterNames[i]->move(8, top);
        counterValues[i] = new QLabel("<Not Read>", tabSummary);
        counterValues[i]->move(192, top);
    }
    pageControl->addTab(tabSummary, "Summary");

    struct LogParts {
        QWidget** tab;
        const char* tabName;
        QPushButton** button;
        const char* buttonName;
        QTreeWidget** view;
    };
    const LogParts parts[] = {
        {&tabSmsSuccess, "tabSmsSuccess", &btnReadSmsSuccess, "btnReadSmsSuccess", &viewSmsSuccess},
        {&tabSmsFails, "tabSmsFails", &btnReadSmsFails, "btnReadSmsFails", &viewSmsFails},
        {&tabRadioFails, "tabRadioFails", &btnReadRadioFails, "btnReadRadioFails", &viewRadioFails},
        {&tabLogonFails, "tabLogonFails", &btnReadGsmLogonFails, "btnReadGsmLogonFails", &viewLogonFails},
        {&tabSimFails, "tabSimFails", &btnReadSimFails, "btnReadSimFails", &viewSimFails},
        {&tabModemFails, "tabModemFails", &btnReadModemFails, "btnReadModemFails", &viewModemFails},
        {&tabSmsReceived, "tabSmsReceived", &btnReadSmsReceived, "btnReadSmsReceived", &viewSmsRx},
    };
    for (const LogParts& p : parts) {
        auto* tab = new QWidget();
        tab->setObjectName(p.tabName);
        // The list follows the tab's size on every side.
        auto* layout = new QVBoxLayout(tab);
        layout->setContentsMargins(8, 8, 8, 8);
        layout->setSpacing(7);
        auto* button = new QPushButton("Read", tab);
        button->setObjectName(p.buttonName);
        button->setFixedSize(75, 25);
        layout->addWidget(button, 0, Qt::AlignLeft);
        auto* view = new QTreeWidget(tab);
        view->setRootIsDecorated(false);
        view->setColumnCount(1);
        view->setHeaderLabels({"Date / Time"});
        view->header()->setStretchLastSection(false);
        view->setColumnWidth(0, 200);
        view->setMinimumSize(100, 60);
        layout->addWidget(view, 1);
        *p.tab = tab;
        *p.button = button;
        *p.view = view;
        pageControl->addTab(tab, "");
    }

    auto guarded = [this](QPushButton* button, auto handler) {
        QObject::connect(button, &QPushButton::clicked, this, [this, handler] { platform::Guarded([&] { handler(); }); });
    };
    guarded(btnReadAll, [this] { btnReadAllClick(); });
    guarded(btnAbort, [this] { btnAbortClick(); });
    for (QPushButton* b : {btnReadCounters, btnReadSmsSuccess, btnReadSmsFails, btnReadRadioFails, btnReadGsmLogonFails,
                           btnReadSimFails, btnReadModemFails, btnReadSmsReceived})
        guarded(b, [this, b] { btnReadCountersClick(b); });

    FormCreate();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

TformDebugLogs::~TformDebugLogs()
{
    if (formDebugLogs == this)
        formDebugLogs = nullptr;
}

void TformDebugLogs::closeEvent(QCloseEvent* event)
{
    // The window is freed on close: from here on nobody may reach it.
    if (formDebugLogs == this)
        formDebugLogs = nullptr;
    QWidget::closeEvent(event);
}

void TformDebugLogs::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    platform::KeepOnScreenAsShown(this);
}

void TformDebugLogs::FormCreate()
{
    ApplyLanguageAndLayout();
    pageControl->setCurrentWidget(tabSummary);
    readAll = false;
    if (main_ && main_->GetSelectedRepeaterAddress() < 0)
        for (QPushButton* b : ReadButtons())
            b->setEnabled(false);
}

void TformDebugLogs::ApplyLanguageAndLayout()
{
    auto T = [this](int id, int variant = 0) { return Q(LangText(main_, id, variant)); };
    setWindowTitle(" " + T(76, 1));
    btnReadAll->setText(T(269));
    btnAbort->setText(T(64));
    pageControl->setTabText(pageControl->indexOf(tabSummary), "  " + T(270) + "  ");
    const QString read = T(161, 1);
    btnReadCounters->setText(read);
    for (size_t i = 0; i < kDebugCounters.size(); ++i) {
        counterNames[i]->setText(T(kDebugCounters[i].nameId) + " :");
        counterNames[i]->adjustSize();
        counterValues[i]->setText("<" + T(271) + ">");
        counterValues[i]->adjustSize();
    }
    for (const TDebugLogTab& t : kDebugLogTabs) {
        pageControl->setTabText(pageControl->indexOf(LogTab(t.log)), "  " + T(t.textId) + "  ");
        LogButton(t.log)->setText(read);
        LogView(t.log)->headerItem()->setText(0, T(272));
    }

    const int w = std::max({CaptionWidth(textDummy, btnReadAll->text()) + 24, CaptionWidth(textDummy, btnAbort->text()) + 24,
                            100});
    btnReadAll->resize(w, btnReadAll->height());
    btnAbort->setGeometry(btnReadAll->x(), btnAbort->y(), w, btnAbort->height());

    const int readWidth = std::max(CaptionWidth(this, read) + 24, 75);
    btnReadCounters->resize(readWidth, btnReadCounters->height());
    for (const TDebugLogTab& t : kDebugLogTabs)
        LogButton(t.log)->setFixedSize(readWidth, 25);

    int widest = 0;
    for (QLabel* name : counterNames)
        widest = std::max(widest, name->width());
    for (QLabel* value : counterValues)
        value->move(widest + 16, value->y());
}

QTreeWidget* TformDebugLogs::LogView(uint8_t log) const
{
    const std::array<QTreeWidget*, 7> views {viewRadioFails, viewModemFails, viewSimFails, viewLogonFails,
                                             viewSmsFails,   viewSmsSuccess, viewSmsRx};
    return log < views.size() ? views[log] : nullptr;
}

QPushButton* TformDebugLogs::LogButton(uint8_t log) const
{
    const std::array<QPushButton*, 7> buttons {btnReadRadioFails, btnReadModemFails, btnReadSimFails,
                                               btnReadGsmLogonFails, btnReadSmsFails, btnReadSmsSuccess,
                                               btnReadSmsReceived};
    return log < buttons.size() ? buttons[log] : nullptr;
}

QWidget* TformDebugLogs::LogTab(uint8_t log) const
{
    const std::array<QWidget*, 7> tabs {tabRadioFails, tabModemFails, tabSimFails,   tabLogonFails,
                                        tabSmsFails,   tabSmsSuccess, tabSmsReceived};
    return log < tabs.size() ? tabs[log] : nullptr;
}

QPushButton* TformDebugLogs::NextLogButton(uint8_t log) const
{
    for (size_t i = 0; i + 1 < kDebugLogTabs.size(); ++i)
        if (kDebugLogTabs[i].log == log)
            return LogButton(kDebugLogTabs[i + 1].log);
    return nullptr;
}

void TformDebugLogs::btnReadAllClick()
{
    readAll = true;
    btnReadCountersClick(btnReadCounters);
}

void TformDebugLogs::btnAbortClick()
{
    btnAbort->hide();
    btnReadAll->show();
    main_->EndOperation();
}

void TformDebugLogs::btnReadCountersClick(QPushButton* sender)
{
    if (main_->GetSelectedRepeaterAddress() < 0) {
        main_->SetStatusText("  " + LangText(main_, 148));
        platform::MessageBeep(platform::MB_ICONHAND);
        main_->EndOperation();
        return;
    }
    int log = -1;
    for (uint8_t i = 0; i < 7; ++i)
        if (LogButton(i) == sender)
            log = i;
    if (sender != btnReadCounters && log < 0)
        return;
    btnReadAll->hide();
    btnAbort->show();
    main_->EnableControls(false);
    if (sender == btnReadCounters) {
        const QString wait = Q(LangText(main_, 63) + " ...");
        for (QLabel* value : counterValues) {
            value->setText(wait);
            value->adjustSize();
        }
        pageControl->setCurrentWidget(tabSummary);
        // The state is set before the request goes out.
        main_->opState = osReadCounters;
        logIndex = 0;
        QueueConfigRequest(main_, kDebugCounters[0].code);
        return;
    }
    entryIndex = 0;
    main_->opState = osReadDebugLog;
    LogView(uint8_t(log))->clear();
    logIndex = uint8_t(log);
    pageControl->setCurrentWidget(LogTab(logIndex));
    QueueReadRequest(main_, logIndex, 0);
}

QString DebugLogTimeText(int32_t unixSeconds)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(qint64(unixSeconds), Qt::UTC);
    return QLocale().toString(t, QStringLiteral("dd-MMM-yyyy, hh:mm:ss"));
}

void AddDebugLogEntry(TformDebugLogs* form, const TMsgRecord* msg)
{
    if (msg->length < 11)
        return;
    QTreeWidget* view = form->LogView(msg->data[5]);
    if (!view)
        return;
    const uint8_t* d = msg->data;
    const auto t = int32_t(uint32_t(d[7]) << 24 | uint32_t(d[8]) << 16 | uint32_t(d[9]) << 8 | d[10]);
    auto* row = new QTreeWidgetItem();
    row->setText(0, DebugLogTimeText(t));
    view->addTopLevelItem(row);
}

void DebugLogsJobEnded(TformDebugLogs* form)
{
    form->btnReadAll->setVisible(true);
    form->btnAbort->setVisible(false);
    form->readAll = false;
}

void DebugLogsEnableControls(TformDebugLogs* form, bool enable)
{
    for (QPushButton* b : form->ReadButtons())
        b->setEnabled(enable);
}

void DebugLogsEnableReads(TformDebugLogs* form, bool enable) { DebugLogsEnableControls(form, enable); }

// The Tools menu entry: one window at a time, brought to the front when it exists.
void TformMain::menuViewLogsClick()
{
    ShowToolWindow(formDebugLogs, this);
}
