#include "tools/Readdebuglogs.h"

#include <QPushButton>

TformDebugLogs* formDebugLogs = nullptr;

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
