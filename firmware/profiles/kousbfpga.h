// SPDX-License-Identifier: MIT
/* Board profile: our board, a CY7C68013A-56 with a Spartan-3E FPGA
 * (XC3S500E) configured slave-serial, an 8-bit multiplexed bus to the FPGA's
 * registers, its command port and the external bus it bridges, the boot
 * EEPROM, a temperature sensor and an SPI flash. No UART: the 56-pin
 * package has no UART pins (TXD0/RXD0 and TXD1/RXD1 are on the 100- and
 * 128-pin packages only).
 *
 *   function        pin   notes
 *   I2C SCL, SDA    SCL, SDA  boot EEPROM at 0x51, LM75-class sensor at 0x48
 *   bus AD7..AD0    PB7..PB0  address bytes and data, both directions
 *   bus ALE_L       PD4   latches PB as address bits 7..0 (high pulse)
 *   bus ALE_H       PD5   latches PB as address bits 15..8 (high pulse)
 *   bus RD#         PD6   read strobe, data valid while low
 *   bus WR#         PD7   write strobe, data taken on the rising edge
 *   CS_REG#         PA0   selects the FPGA's register space
 *   CS_EXT#         PA1   selects the external bus the FPGA bridges
 *   CS_CMD#         PA3   selects the FPGA's command port
 *   FPGA DIN        PA2   slave-serial data
 *   FPGA PROG_B     PA4   low pulse clears the FPGA
 *   FPGA INIT_B     PA5   input, high when ready for data
 *   FPGA DONE       PA6   input, high when configured
 *   FPGA CCLK       PA7   slave-serial clock, data taken on the rising edge
 *   SPI SCK         PD0
 *   SPI MOSI        PD1
 *   SPI MISO        PD2   input
 *   SPI CS#         PD3   active low
 *
 * After each RD#/WR# strobe the FPGA counts the latched address up by one,
 * so a run of bytes needs the address only once. Pins are named as the
 * controller's register table names the port bits (chip/fx2registers.txt:
 * PAn, PBn, PDn). */
#ifndef FW_PROFILE_KOUSBFPGA_H
#define FW_PROFILE_KOUSBFPGA_H

#include "kousb_protocol.h"

#define FW_PROFILE_NAME "KO board with FPGA"
#define FW_PROFILE_CAPABILITIES                                                                     \
    (KOUSB_CAP_EXTERNAL | KOUSB_CAP_FPGA_REGISTER | KOUSB_CAP_I2C | KOUSB_CAP_SPI | KOUSB_CAP_COMMAND \
     | KOUSB_CAP_FPGA_CONFIG | KOUSB_CAP_EEPROM | KOUSB_CAP_IDENTITY_WRITE)
#define FW_PROFILE_FPGA_PART "3s500e"
#define FW_PROFILE_HAS_FPGA 1

#define FW_PIN_CS_REG PA0
#define FW_PIN_CS_EXT PA1
#define FW_PIN_FPGA_DIN PA2
#define FW_PIN_CS_CMD PA3
#define FW_PIN_FPGA_PROG PA4
#define FW_PIN_FPGA_INIT PA5
#define FW_PIN_FPGA_DONE PA6
#define FW_PIN_FPGA_CCLK PA7
#define FW_PIN_BUS_ALE_L PD4
#define FW_PIN_BUS_ALE_H PD5
#define FW_PIN_BUS_RD PD6
#define FW_PIN_BUS_WR PD7
#define FW_PIN_SPI_SCK PD0
#define FW_PIN_SPI_MOSI PD1
#define FW_PIN_SPI_MISO PD2
#define FW_PIN_SPI_CS PD3
#define FW_OEA_OUTPUTS 0x9F    /* all of port A but INIT_B and DONE */
#define FW_OED_OUTPUTS 0xFB    /* all of port D but MISO */
#define FW_IOA_IDLE 0x1B       /* chip selects and PROG_B high */
#define FW_IOD_IDLE 0xC8       /* RD#, WR#, SPI CS# high */

#endif
