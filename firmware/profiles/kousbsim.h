// SPDX-License-Identifier: MIT
/* Board profile: our board on a CY7C68013A-100, the package a simulated
 * board stands for. Everything of the FPGA board (kousbfpga.h: the FPGA
 * XC3S500E configured slave-serial, its register, external and command
 * buses, the boot EEPROM, the temperature sensor, the SPI flash), and the
 * UART, which the 100- and 128-pin packages bring out:
 *
 *   function        pin   notes
 *   UART TXD0       TXD0  serial port 0 of the 8051 core
 *   UART RXD0       RXD0  wired to TXD0 on a simulated board (a loopback)
 *
 * No image is built for it: the simulated boards run the host-compiled core
 * with these capabilities; a 100-pin image would add the UART's chip layer. */
#ifndef FW_PROFILE_KOUSBSIM_H
#define FW_PROFILE_KOUSBSIM_H

#include "kousb_protocol.h"

#define FW_PROFILE_NAME "KO board with FPGA and UART"
#define FW_PROFILE_CAPABILITIES                                                                     \
    (KOUSB_CAP_EXTERNAL | KOUSB_CAP_FPGA_REGISTER | KOUSB_CAP_I2C | KOUSB_CAP_SPI | KOUSB_CAP_UART  \
     | KOUSB_CAP_COMMAND | KOUSB_CAP_FPGA_CONFIG | KOUSB_CAP_EEPROM | KOUSB_CAP_IDENTITY_WRITE)
#define FW_PROFILE_FPGA_PART "3s500e"
#define FW_PROFILE_HAS_FPGA 1

#endif
