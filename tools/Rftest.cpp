#include "tools/Rftest.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/Requests.h"
#include "link/Responses.h"
#include "platform/Dialogs.h"

#include <QDateTime>
#include <QLocale>
#include <QTreeWidget>

bool RefuseWithoutRepeater(TformMain* form)
{
    if (form->GetSelectedRepeaterAddress() >= 0)
        return false;
    form->SetStatusText("  " + LangText(form, 148));
    platform::MessageBeep(platform::MB_ICONHAND);
    return true;
}

void ShowBusyLook(TformMain* form)
{
    form->EnableControls(false);
    form->btnConfig->hide();
    form->btnAbort->show();
    form->btnAbort->setEnabled(true);
}

// The request goes out first and the state follows in the same handler, so
// no reply can find the old state.
void StartClearDatabase(TformMain* form)
{
    if (RefuseWithoutRepeater(form))
        return;
    QueueClearDatabase(form, 0);
    form->opState = osClearDatabase;
}

void StartPatrol(TformMain* form)
{
    if (RefuseWithoutRepeater(form))
        return;
    QueueStartPatrol(form);
    form->opState = osStartPatrol;
    ShowBusyLook(form);
}

void StartReadDatabase(TformMain* form)
{
    if (RefuseWithoutRepeater(form))
        return;
    QueueDatabaseRequest(form);
    form->opState = osDatabaseCount;
    form->viewDatabase->clear();
    form->textDatabaseEnum->setText(QString::fromStdString("0 " + LangText(form, 49)));
    ShowBusyLook(form);
}

QString LoggerTimeText(uint32_t unixSeconds)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(qint64(unixSeconds), Qt::UTC);
    return QLocale().toString(t, QStringLiteral("dd-MMM-yy  hh:mm:ss"));
}

void AddLoggerRecord(TformMain* form, const TMsgRecord* msg)
{
    if (msg->length < 16)
        return;
    const uint8_t* d = msg->data;
    const uint32_t t = uint32_t(d[6]) << 24 | uint32_t(d[7]) << 16 | uint32_t(d[8]) << 8 | d[9];
    const uint32_t serial = uint32_t(d[10]) << 16 | uint32_t(d[11]) << 8 | d[12];
    auto T = [form](int id) { return QString::fromStdString(LangText(form, id)); };

    auto* row = new QTreeWidgetItem();
    row->setText(0, QString::fromStdString(RepeaterIdText(serial)));
    row->setText(1, QString::number(d[15] * 100 / 255) + "%");
    row->setText(2, (d[14] & 0x80) ? T(255) : T(256));
    row->setText(3, LoggerTimeText(t));
    row->setData(3, Qt::UserRole, qint64(t)); // the patrol-time order compares it
    row->setText(4, (d[13] & 0x80) ? T(27) : T(28));
    row->setText(5, QString::number(d[13] & 0x7F));
    row->setText(6, QString::number(d[14] & 0x7F));
    // Symbol-font codes: a cross or a tick, and the alarm bell.
    if (msg->length == 17) {
        const uint8_t f = d[16];
        row->setText(7, QString(QChar((f & 0x08) ? 0xFB : 0xFC)));
        row->setText(8, (f & 0x04) ? "%" : "");
        row->setText(9, (f & 0x02) ? "%" : "");
        row->setText(10, (f & 0x01) ? "%" : "");
    } else {
        for (int c = 7; c <= 10; ++c)
            row->setText(c, QString());
    }
    // No check state is set: that would give the row a visible box.
    form->viewDatabase->addTopLevelItem(row);

    const int n = form->viewDatabase->topLevelItemCount();
    form->textDatabaseEnum->setText(QString::fromStdString(n == 1 ? "1 " + LangText(form, 25)
                                                                 : std::to_string(n) + " " + LangText(form, 49)));
}

void TformMain::btnClearDatabaseClick() { StartClearDatabase(this); }
void TformMain::btnPatrolClick() { StartPatrol(this); }
void TformMain::btnReadDatabaseClick() { StartReadDatabase(this); }
