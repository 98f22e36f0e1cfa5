/* SPDX-License-Identifier: MIT */
/* The board logic of the bus requests: I2C transactions, the SPI flash, the
 * UART's receive queue, the FPGA configuration and the temperature sensor. */
#include "fw_internal.h"

/* ---- I2C: one transaction per request ---------------------------------- */

uint8_t fw_i2c_begin(void)
{
    uint8_t code;
    if (fw_req.value > 0x7Fu || fw_req.length > KOUSB_MAX_REQUEST_DATA)
        return KOUSB_ERR_BAD_ARGUMENT;
    code = hw_i2c_start((uint8_t)(fw_req.value << 1) | (fw_req.in ? 1u : 0u));
    FW.i2c_open = 1;
    if (code)
        return code;
    fw_req.reply = fw_req.length;
    if (fw_req.in && !fw_req.length) {
        /* an address probe (wLength 0): no data stage, so the read ends here */
        hw_i2c_stop();
        FW.i2c_open = 0;
    }
    return 0;
}

uint8_t fw_i2c_in(uint8_t *packet, uint8_t n)
{
    uint16_t left = fw_req.reply - fw_req.done - n;
    uint8_t code = hw_i2c_read(packet, n, left);
    if (!code && !left)
        FW.i2c_open = 0;  /* the last byte came with the STOP; a failure is stopped by fw_abort_bus */
    return code;
}

uint8_t fw_i2c_out(const uint8_t *packet, uint8_t n)
{
    return hw_i2c_write(packet, n);
}

uint8_t fw_i2c_end(void)
{
    if (FW.i2c_open)
        hw_i2c_stop();
    FW.i2c_open = 0;
    return 0;
}

/* ---- SPI flash (M25P16 class): read 0x03, page program 0x02 ------------- */

#define SPI_READ 0x03u
#define SPI_PROGRAM 0x02u
#define SPI_WRITE_ENABLE 0x06u
#define SPI_STATUS 0x05u
#define SPI_JEDEC_ID 0x9Fu
#define SPI_PAGE 256u
/* Status polls while a page programs (typ. 0.6 ms, max 5 ms). */
#define SPI_BUSY_POLLS 20000u

static void spi_command(uint8_t command, uint32_t address)
{
    uint8_t bytes[4];
    bytes[0] = command;
    bytes[1] = (uint8_t)(address >> 16);
    bytes[2] = (uint8_t)(address >> 8);
    bytes[3] = (uint8_t)address;
    hw_spi_select(1);
    FW.spi.selected = 1;
    hw_spi_write(bytes, 4);
}

static void spi_deselect(void)
{
    hw_spi_select(0);
    FW.spi.selected = 0;
}

static uint8_t spi_wait_ready(void)
{
    uint8_t command = SPI_STATUS, status = 0;
    uint16_t polls;
    hw_spi_select(1);
    hw_spi_write(&command, 1);
    for (polls = 0; polls < SPI_BUSY_POLLS; ++polls) {
        hw_spi_read(&status, 1);
        if (!(status & 0x01u))
            break;
    }
    hw_spi_select(0);
    return (status & 0x01u) ? KOUSB_ERR_BUSY : 0;
}

uint8_t fw_spi_begin(void)
{
    uint8_t id[3], command = SPI_JEDEC_ID;
    uint32_t size;
    if (fw_req.length > KOUSB_MAX_REQUEST_DATA)
        return KOUSB_ERR_BAD_ARGUMENT;
    FW.spi.address = (uint32_t)fw_req.value | ((uint32_t)fw_req.index << 16);
    /* Is there a flash, and how large is it? */
    hw_spi_select(1);
    hw_spi_write(&command, 1);
    hw_spi_read(id, 3);
    hw_spi_select(0);
    if (id[0] == 0x00u || id[0] == 0xFFu || id[2] < 10u || id[2] > 31u)
        return KOUSB_ERR_NO_ACKNOWLEDGE;
    size = 1ul << id[2];
    if (FW.spi.address >= size || size - FW.spi.address < fw_req.length) {
        FW.error_detail = id[2];  /* the host names the flash's size */
        return KOUSB_ERR_OUT_OF_RANGE;
    }
    fw_req.reply = fw_req.length;
    if (fw_req.in && fw_req.length)
        spi_command(SPI_READ, FW.spi.address);
    return 0;
}

uint8_t fw_spi_in(uint8_t *packet, uint8_t n)
{
    hw_spi_read(packet, n);
    return 0;
}

/* Programs the bytes page by page: write enable, program, wait. */
uint8_t fw_spi_out(const uint8_t *packet, uint8_t n)
{
    uint8_t command = SPI_WRITE_ENABLE, chunk, code;
    uint16_t room;
    while (n) {
        if (!FW.spi.selected) {
            hw_spi_select(1);
            hw_spi_write(&command, 1);
            hw_spi_select(0);
            spi_command(SPI_PROGRAM, FW.spi.address);
        }
        room = SPI_PAGE - (uint16_t)(FW.spi.address & (SPI_PAGE - 1u));
        chunk = room < n ? (uint8_t)room : n;
        hw_spi_write(packet, chunk);
        packet += chunk;
        n -= chunk;
        FW.spi.address += chunk;
        if (!(FW.spi.address & (SPI_PAGE - 1u))) {
            spi_deselect();
            code = spi_wait_ready();
            if (code)
                return code;
        }
    }
    return 0;
}

uint8_t fw_spi_end(void)
{
    if (!FW.spi.selected)
        return 0;
    spi_deselect();
    return fw_req.in ? 0 : spi_wait_ready();
}

void fw_abort_bus(void)
{
    if (FW.i2c_open)
        hw_i2c_stop();
    FW.i2c_open = 0;
    if (FW.spi.selected)
        spi_deselect();
}

/* ---- UART receive queue ------------------------------------------------- */

#if FW_BUILDS(KOUSB_CAP_UART)
void fw_uart_received(uint8_t byte)
{
    if ((uint8_t)(FW.uart.head + 1u) == FW.uart.tail) {
        FW.uart.overrun = 1;
        return;
    }
    FW.uart.queue[FW.uart.head] = byte;
    ++FW.uart.head;
}

uint16_t fw_uart_waiting(void)
{
    return (uint8_t)(FW.uart.head - FW.uart.tail);
}

uint8_t fw_uart_take_overrun(void)
{
    uint8_t overrun = FW.uart.overrun;
    FW.uart.overrun = 0;
    return overrun;
}

/* A read answers with what is queued, at most the length asked: a short
 * reply is normal. */
uint8_t fw_uart_begin(void)
{
    uint16_t waiting = fw_uart_waiting();
    if (fw_req.length > KOUSB_MAX_REQUEST_DATA)
        return KOUSB_ERR_BAD_ARGUMENT;
    fw_req.reply = fw_req.in && waiting < fw_req.length ? waiting : fw_req.length;
    return 0;
}

uint8_t fw_uart_in(uint8_t *packet, uint8_t n)
{
    uint8_t i;
    for (i = 0; i < n; ++i) {
        packet[i] = FW.uart.queue[FW.uart.tail];
        ++FW.uart.tail;
    }
    return 0;
}
#endif

/* ---- FPGA configuration: begin (length), data, end ---------------------- */

uint8_t fw_fpga_config_begin(void)
{
    if (fw_req.in)
        return KOUSB_ERR_UNKNOWN_REQUEST;
    switch (fw_req.value) {
    case KOUSB_CONFIG_BEGIN: return fw_req.length == 4 ? 0 : KOUSB_ERR_BAD_ARGUMENT;
    case KOUSB_CONFIG_DATA:
        return FW.config.running && fw_req.length <= KOUSB_MAX_REQUEST_DATA ? 0 : KOUSB_ERR_BAD_ARGUMENT;
    case KOUSB_CONFIG_END:
        if (!FW.config.running || fw_req.length)
            return KOUSB_ERR_BAD_ARGUMENT;
        return 0;
    default: return KOUSB_ERR_BAD_ARGUMENT;
    }
}

uint8_t fw_fpga_config_out(const uint8_t *packet, uint8_t n)
{
    uint8_t i;
    if (fw_req.value == KOUSB_CONFIG_BEGIN) {
        for (i = 0; i < n; ++i)
            fw_req.buffer[fw_req.done + i] = packet[i];
        return 0;
    }
    if (FW.config.expected - FW.config.received < n) {
        FW.config.running = 0;
        return KOUSB_ERR_BAD_ARGUMENT;  /* more than announced */
    }
    hw_fpga_shift(packet, n);
    FW.config.received += n;
    return 0;
}

uint8_t fw_fpga_config_end(void)
{
    uint8_t code;
    if (fw_req.value == KOUSB_CONFIG_BEGIN) {
        FW.config.expected = (uint32_t)fw_req.buffer[0] | ((uint32_t)fw_req.buffer[1] << 8)
            | ((uint32_t)fw_req.buffer[2] << 16) | ((uint32_t)fw_req.buffer[3] << 24);
        FW.config.received = 0;
        FW.config.running = 0;
        code = hw_fpga_begin();
        if (code)
            return code;
        FW.config.running = 1;
        return 0;
    }
    if (fw_req.value == KOUSB_CONFIG_END) {
        FW.config.running = 0;
        if (FW.config.received != FW.config.expected)
            return KOUSB_ERR_BAD_ARGUMENT;
        return hw_fpga_finish() ? 0 : KOUSB_ERR_DEVICE;
    }
    return 0;
}

/* ---- Temperature sensor (LM75 class at 0x48) ---------------------------- */

int8_t fw_temperature(void)
{
    uint8_t value[2];
    if (hw_i2c_start((0x48u << 1) | 1u) || hw_i2c_read(value, 2, 0)) {
        hw_i2c_stop();  /* a read that failed half-way ends with a STOP too */
        return 0;
    }
    return (int8_t)value[0];
}
