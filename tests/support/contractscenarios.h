#pragma once
// Scenarios every board with our firmware must pass, through the library's
// interface: on simulated boards and the real-board logic (tst_boardcontract)
// and on a real board (tst_hardware). None of them changes what the board
// keeps unless told it may: volatile memories are written and read back, a
// refused file changes nothing, and the EEPROM is flashed with what it
// already holds.
// They fail the running test with QVERIFY/QCOMPARE; check QTest::currentTestFailed().
#include "KoUSBLib.h"

#include <QString>

namespace contract {

// External bus, UART, 64 KiB blocks both ways and a looped-back packet,
// command pipe, interrupt reports and an I2C address nobody answers; the FPGA registers after
// configuring it from `bitFile` (left out when empty); with `scratchBoard`,
// also the controller's internal memory (which holds the running firmware)
// and the SPI flash (which keeps what is written), so not on a board in use.
// Without `uart` (our firmware on a 56-pin controller, which has no UART
// pins) the UART must be refused as not supported.
void everyIoMode(KoUSBDevice& d, const QString& bitFile, bool scratchBoard, bool uart);

// Controller firmware files that must be refused leave the controller's
// memory as it was.
void firmwareRefused(KoUSBDevice& d, const QString& folder);

// Flashes the EEPROM's own bytes at [offset, offset + length) back into it,
// with progress, and reads them back.
void eepromReflash(KoUSBDevice& d, const QString& folder, int offset, int length);

} // namespace contract
