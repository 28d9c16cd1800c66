#include "app/ConfigItems.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "app/Rxcallback.h"
#include "app/Validate.h"
#include "link/Requests.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SymbolFont.h"

#include <QCheckBox>
#include <QLabel>
#include <QPalette>

namespace {

// Item codes in sending order. ciUseTimeZone asks the clock builder for the
// window's time-zone offset; ciNone marks builders that take no item code.
constexpr uint8_t kUseTimeZone = ciUseTimeZone;
constexpr uint8_t kNoItem = ciNone;
constexpr std::array<uint8_t, kConfigItemCount> kItemCodes = {
    0x11, kUseTimeZone, kNoItem, 0x19, 0x05, 0x0B, 0x07, 0x0D, 0x03, 0x04, //  0.. 9
    0x08, 0x18, 0x09, 0x0D, 0x0D, 0x1A, 0x0A, 0x16, 0x17, kNoItem,     // 10..19
    0x0E, 0x0F, 0x0C, 0x10, 0x12, 0x13, 0x15,                           // 20..26 debug counters
    0x05, 0x04, 0x00, 0x03, 0x02, 0x01, 0x06,                           // 27..33 debug log indexes
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x1B,                     // 34..41
    0x06, 0x14, 0x01, 0x00,                                             // 42..45 engineering
};

constexpr int64_t kItemPauseMs = 250;

const QColor kTickLime(0, 255, 0);
const QColor kTickRed(255, 0, 0);

void ShowTick(QLabel* tick, uint8_t symbol, const QColor& colour)
{
    if (tick == nullptr)
        return;
    QPalette palette = tick->palette();
    palette.setColor(QPalette::WindowText, colour);
    tick->setPalette(palette);
    tick->setText(platform::SymbolGlyph(symbol));
    tick->show();
}

} // namespace

void BuildConfigItems(TformMain* form)
{
    TformMain* f = form;
    struct Row {
        QCheckBox* box;
        TConfigRequestEvent request;
        TConfigReplyCheckEvent replyCheck;
        QLabel* tick;
    };
    const std::array<Row, kConfigItemCount> rows = {{
        {f->boxGsmBand, QueueGsmBand, ReplyCheckDefault, f->tickGsmBand},
        {f->boxClock, QueueTime, ReplyCheckD1, f->tickClock},
        {f->boxRegion, QueueRegion, ReplyCheckE5, f->tickRegion},
        {f->boxGpsCoords, QueueGpsCoordinates, ReplyCheckDefault, f->tickGpsCoords},
        {f->boxPatrolTime, QueuePatrolTime, ReplyCheckDefault, f->tickPatrolTime},
        {f->boxRetryTime, QueuePatrolRetryTime, ReplyCheckDefault, f->tickRetryTime},
        {f->boxPatrolDays, QueuePatrolDays, ReplyCheckDefault, f->tickPatrolDays},
        {f->boxLowNoiseAmp, QueueEcuOptionsStep, ReplyCheckDefault, f->tickLowNoiseAmp},
        {f->boxHostTel, QueueHostTelNumber, ReplyCheckDefault, f->tickHostTel},
        {f->boxEngTel, QueueEngineerTelNumber, ReplyCheckDefault, f->tickEngTel},
        {f->boxReportTime, QueueReportTime, ReplyCheckDefault, f->tickReportTime},
        {f->boxStagger, QueueReportStagger, ReplyCheckDefault, f->tickStagger},
        {f->boxReportDays, QueueReportDays, ReplyCheckDefault, f->tickReportDays},
        {f->boxReportFormat, QueueEcuOptionsStep, ReplyCheckDefault, f->tickReportFormat},
        {f->boxService, QueueEcuOptionsF2, ReplyCheckF3, f->tickService},
        {f->boxHistDays, QueueHistogramOptions, ReplyCheckDefault, f->tickHistDays},
        {f->boxAlarmReport, QueueAlarmSetting, ReplyCheckDefault, f->tickAlarmReport},
        {f->boxLowRf, QueueLowRfThreshold, ReplyCheckDefault, f->tickLowRf},
        {f->boxAlarmEnable, QueueAlarmEnables, ReplyCheckDefault, f->tickAlarmEnable},
        {f->boxClearDb, QueueClearDatabase, ReplyCheckED, f->tickClearDb},
        {f->boxClearSmsSuccess, QueueEraseDebugCounter, ReplyCheckDefault, f->tickClearSmsSuccess},
        {f->boxClearSmsFail, QueueEraseDebugCounter, ReplyCheckDefault, f->tickClearSmsFail},
        {f->boxClearCc1100, QueueEraseDebugCounter, ReplyCheckDefault, f->tickClearCc1100},
        {f->boxClearLogonFail, QueueEraseDebugCounter, ReplyCheckDefault, f->tickClearLogonFail},
        {f->boxClearSimFail, QueueEraseDebugCounter, ReplyCheckDefault, f->tickClearSimFail},
        {f->boxClearModemFail, QueueEraseDebugCounter, ReplyCheckDefault, f->tickClearModemFail},
        {f->boxClearSmsRx, QueueEraseDebugCounter, ReplyCheckDefault, f->tickClearSmsRx},
        {f->boxClearSMSSuccLog, QueueEraseBuffer, ReplyCheckF1, f->tickClearSmsSuccessLog},
        {f->boxClearSmsFailLog, QueueEraseBuffer, ReplyCheckF1, f->tickClearSmsFailLog},
        {f->boxClearCc1100FailLog, QueueEraseBuffer, ReplyCheckF1, f->tickClearCc1100FailLog},
        {f->boxClearLogonFailLog, QueueEraseBuffer, ReplyCheckF1, f->tickClearLogonFailLog},
        {f->boxClearSimFailLog, QueueEraseBuffer, ReplyCheckF1, f->tickClearSimFailLog},
        {f->boxClearModemFailLog, QueueEraseBuffer, ReplyCheckF1, f->tickClearModemFailLog},
        {f->boxClearRxSmsLog, QueueEraseBuffer, ReplyCheckF1, f->tickClearRxSmsLog},
        {f->boxApn, QueueApn, ReplyCheckDefault, f->tickApn},
        {f->boxGprsUser, QueueGprsUsername, ReplyCheckDefault, f->tickGprsUser},
        {f->boxGprsPass, QueueGprsPassword, ReplyCheckDefault, f->tickGprsPass},
        {f->boxFtpHost, QueueFtpHost, ReplyCheckDefault, f->tickFtpHost},
        {f->boxFtpUser, QueueFtpUserId, ReplyCheckDefault, f->tickFtpUser},
        {f->boxFtpPass, QueueFtpPassword, ReplyCheckDefault, f->tickFtpPass},
        {f->boxFtpFolder, QueueFtpFolder, ReplyCheckDefault, f->tickFtpFolder},
        {f->boxSimNumber, QueueSimTelNumber, ReplyCheckDefault, f->tickSimNumber},
        {f->boxPatrolDuration, QueuePatrolDuration, ReplyCheckDefault, f->tickPatrolDuration},
        {f->boxRxDuration, QueueRxWindowDuration, ReplyCheckDefault, f->tickRxDuration},
        {f->boxEcuNum, QueueEcuNumber, ReplyCheckDefault, f->tickEcuNum},
        {f->boxSerialNum, QueueSerialNumber, ReplyCheckDefault, f->tickSerialNum},
    }};
    for (size_t i = 0; i < rows.size(); ++i) {
        TConfigItem& item = form->configItems[i];
        item = TConfigItem {};
        item.code = kItemCodes[i];
        item.box = rows[i].box;
        item.request = rows[i].request;
        item.replyCheck = rows[i].replyCheck;
        item.tick = rows[i].tick;
    }
    form->configItems[3].validate = ValidateGpsCoords;
    form->configItems[17].validate = ValidateLowRfThreshold;
    form->configItems[44].validate = ValidateEcuNumber;
    form->configItems[45].validate = ValidateSerialNumber;
}

TItemResult SendNextConfigItem(TformMain* form)
{
    auto sendable = [form](int32_t i) {
        const TConfigItem& item = form->configItems[size_t(i)];
        return item.box != nullptr && item.box->isChecked() && item.request != nullptr;
    };
    // From -1 (before the first entry) on; an index below that would start
    // outside the table.
    form->itemIndex = form->itemIndex < -1 ? 0 : form->itemIndex + 1;
    while (form->itemIndex < kConfigItemCount && !sendable(form->itemIndex))
        ++form->itemIndex;
    if (form->itemIndex >= kConfigItemCount)
        return irNoneLeft;
    // The repeater needs a moment between items; nothing else runs meanwhile.
    platform::BusyWait(kItemPauseMs);
    const TConfigItem& item = form->configItems[size_t(form->itemIndex)];
    if (!item.request(form, item.code)) {
        // Nothing went out, so nothing may wait for a reply.
        RefuseInvalidEntry(form, form->itemIndex);
        return irInvalid;
    }
    return irSent;
}

void RefuseInvalidEntry(TformMain* form, int index)
{
    if (index >= 0 && index < kConfigItemCount)
        ShowTickFailed(form->configItems[size_t(index)].tick);
    form->SetStatusText("  " + GetLangString(form, 180, "User input error") + " - " +
                        GetLangString(form, 181, "Configuration aborted"));
    platform::MessageBeep(platform::MB_ICONHAND);
    form->EndOperation();
}

void ShowTickDone(QLabel* tick) { ShowTick(tick, platform::kSymbolTick, kTickLime); }

void ShowTickFailed(QLabel* tick) { ShowTick(tick, platform::kSymbolCross, kTickRed); }
