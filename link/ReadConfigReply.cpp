#include "link/ReadConfigReply.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/Serial.h"
#include "tools/Readconfig.h"

#include <QListWidget>
#include <QPushButton>

namespace {

// The signal-strength reply and its refusal belong to the handler's tail,
// never to an item of the report.
bool IsSignalStrengthReply(const TMsgRecord* m)
{
    if (m->length == 8 && m->data[1] == 0xCD && m->data[5] == 0)
        return true;
    return m->length == 7 && m->data[1] == 0xFF && m->data[5] == 0xCC && m->data[6] == 5;
}

void ShowLastLine(TformReadConfig* window)
{
    if (QListWidgetItem* last = window->boxResults->item(window->boxResults->count() - 1))
        window->boxResults->scrollToItem(last, QAbstractItemView::PositionAtTop);
}

} // namespace

void ReadConfigStep(TformMain* form, const TMsgRecord* msg)
{
    TformReadConfig* window = formReadConfig;
    if (!window) {
        // The window was closed during the read.
        form->EndOperation();
        return;
    }
    if (IsSignalStrengthReply(msg))
        return;
    const int32_t index = window->itemIndex;
    if (index < 0 || index >= kReadConfigItemCount)
        return;
    const TReadConfigItem& entry = window->items[size_t(index)];
    TItemResult r = entry.formatter(msg);
    if (r != irDone && IsItemReadRefusal(*msg)) {
        window->AddLine(ReportRejectionLine(window->Context(), entry.itemCode));
        r = irDone;
    }
    if (r != irDone)
        return; // the reply time-out covers a missing answer
    ShowLastLine(window);
    window->itemIndex = index + 1;
    if (window->itemIndex < kReadConfigItemCount) {
        const TReadConfigItem& next = window->items[size_t(window->itemIndex)];
        next.request(next.itemCode);
        return;
    }
    window->AddLine(ReportCompleteLine(window->Context()));
    ShowLastLine(window);
    window->btnRead->show();
    window->btnAbort->hide();
    form->SetStatusText("  " + GetLangString(form, 252, "Read Complete"));
    form->EndOperation();
}
