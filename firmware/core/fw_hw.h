// SPDX-License-Identifier: MIT
/* The hardware layer the core drives. The board implements it on the
 * controller's registers and pins (chip/), the host with models of the chips
 * (models/). Calls that can fail return 0 or a KOUSB_ERR_ code. */
#ifndef FW_HW_H
#define FW_HW_H

#include "fw_port.h"
#include "kousb_protocol.h"

/* I2C controller. hw_i2c_start sends a START (a repeated START when the bus
 * is held) and the address byte (7-bit address << 1, bit 0 set to read);
 * KOUSB_ERR_NO_ACKNOWLEDGE when nobody answered, KOUSB_ERR_BUSY on a bus
 * error. hw_i2c_read reads `n` bytes (at least one) of a read transaction
 * with `left` bytes still to come after them; when none are left it
 * refuses the final byte (NAK) and sends the STOP. A failure leaves the
 * transaction open: the caller ends it with hw_i2c_stop. */
uint8_t hw_i2c_start(uint8_t address_rw);
uint8_t hw_i2c_write(const uint8_t *data, uint8_t n);
uint8_t hw_i2c_read(uint8_t *data, uint8_t n, uint16_t left);
void hw_i2c_stop(void);

/* SPI, mode 0, MSB first, one chip select. */
void hw_spi_select(uint8_t on);
void hw_spi_write(const uint8_t *data, uint8_t n);
void hw_spi_read(uint8_t *data, uint8_t n);

/* UART transmit; received bytes arrive through fw_uart_received(). */
#if FW_BUILDS(KOUSB_CAP_UART)
void hw_uart_send(const uint8_t *data, uint8_t n);
#endif

/* FPGA slave-serial configuration: hw_fpga_begin pulses PROG_B and waits for
 * INIT_B (KOUSB_ERR_DEVICE when it does not rise); hw_fpga_shift clocks bytes
 * out MSB first; hw_fpga_finish gives the start-up clocks and returns the
 * DONE pin; hw_fpga_done reads DONE. */
uint8_t hw_fpga_begin(void);
void hw_fpga_shift(const uint8_t *data, uint8_t n);
uint8_t hw_fpga_finish(void);
uint8_t hw_fpga_done(void);

/* The parallel buses: an address, then bytes at consecutive addresses (the
 * device behind the bus counts the address up after each strobe). */
#define FW_BUS_FPGA 0u
#define FW_BUS_EXTERNAL 1u
#define FW_BUS_COMMAND 2u
void hw_bus_address(uint8_t bus, uint16_t address);
void hw_bus_read(uint8_t bus, uint8_t *data, uint8_t n);
void hw_bus_write(uint8_t bus, const uint8_t *data, uint8_t n);

#endif
