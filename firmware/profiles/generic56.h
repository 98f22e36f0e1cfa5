// SPDX-License-Identifier: MIT
/* Board profile: a generic CY7C68013A-56 board (ports A, B and D, the boot
 * EEPROM on the I2C pins). No FPGA and no external bus, so those request
 * groups (and the command port, which the FPGA serves) are off; no UART
 * either, since the 56-pin package has no UART pins (TXD0/RXD0 and
 * TXD1/RXD1 are on the 100- and 128-pin packages only).
 *
 *   function        pin   notes
 *   I2C SCL, SDA    SCL, SDA  the controller's I2C pins: boot EEPROM at 0x51,
 *                         an LM75-class temperature sensor at 0x48 if fitted
 *   SPI SCK         PD0
 *   SPI MOSI        PD1
 *   SPI MISO        PD2   input; a missing flash reads 0xFF (pull-up)
 *   SPI CS#         PD3   active low, idles high
 *   status LED      PA0   high while the firmware runs
 *
 * Pins are named as the controller's register table names the port bits
 * (chip/fx2registers.txt: PAn, PBn, PDn). */
#ifndef FW_PROFILE_GENERIC56_H
#define FW_PROFILE_GENERIC56_H

#include "kousb_protocol.h"

#define FW_PROFILE_NAME "generic CY7C68013A-56"
#define FW_PROFILE_CAPABILITIES \
    (KOUSB_CAP_I2C | KOUSB_CAP_SPI | KOUSB_CAP_EEPROM | KOUSB_CAP_IDENTITY_WRITE)
#define FW_PROFILE_FPGA_PART ""
#define FW_PROFILE_HAS_FPGA 0

#define FW_PIN_LED PA0
#define FW_PIN_SPI_SCK PD0
#define FW_PIN_SPI_MOSI PD1
#define FW_PIN_SPI_MISO PD2
#define FW_PIN_SPI_CS PD3
#define FW_OEA_OUTPUTS 0x01
#define FW_OED_OUTPUTS 0x0B
#define FW_IOA_IDLE 0x01
#define FW_IOD_IDLE 0x08

#endif
