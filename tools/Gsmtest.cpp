#include "tools/Gsmtest.h"

#include "app/Main.h"
#include "link/Requests.h"
#include "tools/Rftest.h"

void StartGsmLogOn(TformMain* form, uint8_t on)
{
    if (RefuseWithoutRepeater(form))
        return;
    QueueGsmNetworkRequest(form, on);
    form->opState = on == 1 ? osLogOnRequest : osLogOffRequest;
    ShowBusyLook(form);
}

void StartTestSms(TformMain* form)
{
    if (RefuseWithoutRepeater(form))
        return;
    QueueTestSms(form);
    form->opState = osTestSmsRequest;
    ShowBusyLook(form);
}

void StartTestFtp(TformMain* form)
{
    if (RefuseWithoutRepeater(form))
        return;
    QueueFtpTest(form);
    form->opState = osTestFtpRequest;
    ShowBusyLook(form);
}

void TformMain::btnLogOnClick() { StartGsmLogOn(this, 1); }
void TformMain::btnLogOffClick() { StartGsmLogOn(this, 0); }
void TformMain::btnRequestTestSmsClick() { StartTestSms(this); }
void TformMain::btnTestFtpClick() { StartTestFtp(this); }
