// The "Identification" page: ID, name and class into the board's EEPROM.
#include "mainform.h"

void MainForm::updateDeviceId() {}
