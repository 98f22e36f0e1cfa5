// SPDX-License-Identifier: MIT
/* State and helpers shared by the core's files. */
#ifndef FW_INTERNAL_H
#define FW_INTERNAL_H

#include "fw_core.h"
#include "fw_hw.h"
#include "kousb_identity.h"

/* The request in progress, and the capabilities the board has. */
#define fw_req (FW.req)
#define fw_capabilities (FW.capabilities)

/* Board logic behind the requests; each returns 0 or a KOUSB_ERR_ code. */
uint8_t fw_eeprom_begin(void);
uint8_t fw_eeprom_end(void);
uint8_t fw_identity_begin(void);
uint8_t fw_identity_end(void);

uint8_t fw_i2c_begin(void);
/* The bytes of an open I2C read transaction (an I2C or EEPROM request). */
uint8_t fw_i2c_in(uint8_t *packet, uint8_t n);
uint8_t fw_i2c_out(const uint8_t *packet, uint8_t n);
uint8_t fw_i2c_end(void);

uint8_t fw_spi_begin(void);
uint8_t fw_spi_in(uint8_t *packet, uint8_t n);
uint8_t fw_spi_out(const uint8_t *packet, uint8_t n);
uint8_t fw_spi_end(void);

uint8_t fw_fpga_config_begin(void);
uint8_t fw_fpga_config_out(const uint8_t *packet, uint8_t n);
uint8_t fw_fpga_config_end(void);

#if FW_BUILDS(KOUSB_CAP_UART)
uint8_t fw_uart_begin(void);
uint8_t fw_uart_in(uint8_t *packet, uint8_t n);
uint16_t fw_uart_waiting(void);
uint8_t fw_uart_take_overrun(void);
#endif

/* Undoes what a failed request left behind (an I2C transaction, an SPI select). */
void fw_abort_bus(void);

/* Reads `n` bytes of the boot EEPROM at `offset` (one transaction). */
uint8_t fw_eeprom_read(uint16_t offset, uint8_t *data, uint8_t n);
/* Writes `n` bytes within one page and waits for the write cycle. */
uint8_t fw_eeprom_write_page(uint16_t offset, const uint8_t *data, uint8_t n);

int8_t fw_temperature(void);

#endif
