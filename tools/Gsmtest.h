#pragma once
// The GSM test tab's jobs: log the selected repeater on to or off the GSM
// network, make it send a test SMS, test its FTP connection.
#include <cstdint>

class TformMain;

// on: 1 log on, 0 log off.
void StartGsmLogOn(TformMain* form, uint8_t on);
void StartTestSms(TformMain* form);
void StartTestFtp(TformMain* form);
