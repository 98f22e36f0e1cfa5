// SPDX-License-Identifier: MIT
/* State and helpers shared by the core's files. */
#ifndef FW_INTERNAL_H
#define FW_INTERNAL_H

#include "fw_core.h"
#include "fw_hw.h"
#include "kousb_identity.h"

/* The request in progress. */
struct fw_request {
    uint8_t request;
    uint8_t in;
    uint16_t value;
    uint16_t index;
    uint16_t length;
    uint16_t done;        /* data stage bytes moved so far */
    uint16_t reply;       /* IN: bytes of the reply */
    uint8_t buffer[FW_EP0_PACKET]; /* small replies, and OUT data kept for fw_setup_end */
};

extern FW_XDATA struct fw_request fw_req;
extern FW_XDATA uint16_t fw_capabilities;
/* An I2C transaction of the current request is open (a failure ends it with a STOP). */
extern FW_XDATA uint8_t fw_i2c_open;

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

/* Undoes what a failed request left behind (an I2C transaction, an SPI select). */
void fw_abort_bus(void);

/* Reads `n` bytes of the boot EEPROM at `offset` (one transaction). */
uint8_t fw_eeprom_read(uint16_t offset, uint8_t *data, uint8_t n);
/* Writes `n` bytes within one page and waits for the write cycle. */
uint8_t fw_eeprom_write_page(uint16_t offset, const uint8_t *data, uint8_t n);

int8_t fw_temperature(void);

#endif
