#include "tools/Readconfig.h"

#include <QPushButton>

TformReadConfig* formReadConfig = nullptr;

void ReadConfigJobEnded(TformReadConfig* form)
{
    form->btnRead->setVisible(true);
    form->btnAbort->setVisible(false);
}

void ReadConfigEnableControls(TformReadConfig* form, bool enable)
{
    for (QPushButton* b : {form->btnRead, form->btnClear, form->btnSave})
        b->setEnabled(enable);
}

void ReadConfigEnableRead(TformReadConfig* form, bool enable) { form->btnRead->setEnabled(enable); }
