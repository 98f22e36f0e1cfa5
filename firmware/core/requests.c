/* SPDX-License-Identifier: MIT */
/* Request dispatch: decode the SETUP packet, check it, hand the data stage to
 * the board logic, and keep the error code of a refused request. */
#include "fw_internal.h"

#ifdef __SDCC
FW_XDATA struct fw_state fw_state;
#else
__thread struct fw_state *fw_current;

void fw_version_from_eeprom(uint8_t on)
{
    FW.version_from_eeprom = on;
}
#endif

void fw_init(uint16_t capabilities, const char *fpga_part)
{
    uint8_t i;
#ifndef __SDCC
    const uint8_t version_from_eeprom = FW.version_from_eeprom;
    struct fw_state fresh = {0};
    FW = fresh;  /* the chip's start-up code clears its state; a model's is cleared here */
    FW.version_from_eeprom = version_from_eeprom;
#endif
    fw_capabilities = capabilities;
    for (i = 0; i < KOUSB_FPGA_PART_SIZE - 1 && fpga_part[i]; ++i)
        FW.part[i] = fpga_part[i];
    FW.part[i] = 0;
    fw_req.request = 0;
    fw_bulk_reset(FW_BULK_PACKET);
}

static uint8_t fail(uint8_t code)
{
    fw_abort_bus();
    FW.last_error = code;
    FW.last_error_request = fw_req.request;
    FW.last_error_detail = FW.error_detail;
    FW.error_detail = 0;
    fw_req.request = 0;  /* later stages of this request are refused */
    return code;
}

/* The capability each request needs in each direction (KOUSB_REQUESTS), 0
 * for the ones every board serves. */
#define CAPABILITY(code, in, capability, name, ms) [((code) - KOUSB_REQ_FIRST) * 2u + (in)] = (capability),
static const uint16_t needed[(KOUSB_REQ_LAST - KOUSB_REQ_FIRST + 1u) * 2u] = {KOUSB_REQUESTS(CAPABILITY)};

static uint16_t needed_capability(void)
{
    uint8_t row = fw_req.request - KOUSB_REQ_FIRST;
    return row <= KOUSB_REQ_LAST - KOUSB_REQ_FIRST ? needed[row * 2u + fw_req.in] : 0;
}

static uint8_t bus_of_request(void)
{
    if (fw_req.request == KOUSB_REQ_EXTERNAL)
        return FW_BUS_EXTERNAL;
    return fw_req.request == KOUSB_REQ_COMMAND ? FW_BUS_COMMAND : FW_BUS_FPGA;
}

static uint8_t begin(void)
{
    uint16_t cap = needed_capability();
    uint8_t i, c;
    if (cap && !(fw_capabilities & cap))
        return KOUSB_ERR_UNKNOWN_REQUEST;
    switch (fw_req.request) {
    case KOUSB_REQ_VERSION:
        if (!fw_req.in)
            return KOUSB_ERR_UNKNOWN_REQUEST;
        fw_req.buffer[0] = KOUSB_MAGIC0;
        fw_req.buffer[1] = KOUSB_MAGIC1;
        fw_req.buffer[2] = KOUSB_PROTOCOL_MAJOR;
        fw_req.buffer[3] = 0;
        fw_req.buffer[4] = (uint8_t)fw_capabilities;
        fw_req.buffer[5] = (uint8_t)(fw_capabilities >> 8);
        fw_req.reply = KOUSB_VERSION_REPLY_SIZE;
        return 0;
    case KOUSB_REQ_ERROR:
        if (!fw_req.in)
            return KOUSB_ERR_UNKNOWN_REQUEST;
        fw_req.buffer[0] = FW.last_error;
        fw_req.buffer[1] = FW.last_error_request;
        fw_req.buffer[2] = FW.last_error_detail;
        fw_req.buffer[3] = 0;
        fw_req.reply = KOUSB_ERROR_REPLY_SIZE;
        FW.last_error = FW.last_error_request = FW.last_error_detail = 0;
        return 0;
    case KOUSB_REQ_IDENTITY:
        return fw_identity_begin();
    case KOUSB_REQ_FPGA_PART:
        if (!fw_req.in)
            return KOUSB_ERR_UNKNOWN_REQUEST;
        /* Each character read once: the name and the reply are in one struct,
         * so SDCC would read it again after the store. */
        for (i = 0; (c = (uint8_t)FW.part[i]) != 0; ++i)
            fw_req.buffer[i] = c;
        fw_req.buffer[i] = 0;
        fw_req.reply = i + 1u;
        return 0;
    case KOUSB_REQ_COMMAND:  /* OUT only: the command port is a bus of its own */
    case KOUSB_REQ_EXTERNAL:
    case KOUSB_REQ_FPGA_REGISTER:
        if (fw_req.length > KOUSB_MAX_REQUEST_DATA || (fw_req.in && fw_req.request == KOUSB_REQ_COMMAND))
            return KOUSB_ERR_BAD_ARGUMENT;
        if ((uint32_t)fw_req.value + fw_req.length > 0x10000ul)
            return KOUSB_ERR_OUT_OF_RANGE;
        if (fw_req.request != KOUSB_REQ_EXTERNAL && !hw_fpga_done())
            return KOUSB_ERR_NOT_CONFIGURED;
        hw_bus_address(bus_of_request(), fw_req.request == KOUSB_REQ_COMMAND ? 0 : fw_req.value);
        fw_req.reply = fw_req.length;
        return 0;
    case KOUSB_REQ_I2C: return fw_i2c_begin();
    case KOUSB_REQ_SPI: return fw_spi_begin();
#if FW_BUILDS(KOUSB_CAP_UART)
    case KOUSB_REQ_UART: return fw_uart_begin();
#endif
    case KOUSB_REQ_FPGA_CONFIG: return fw_fpga_config_begin();
    case KOUSB_REQ_EEPROM: return fw_eeprom_begin();
    default: return KOUSB_ERR_UNKNOWN_REQUEST;
    }
}

uint8_t fw_setup_begin(const struct fw_setup *setup)
{
    uint8_t code;
    fw_req.request = setup->request;
    fw_req.in = (setup->type & 0x80u) != 0;
    fw_req.value = setup->value;
    fw_req.index = setup->index;
    fw_req.length = setup->length;
    fw_req.done = 0;
    fw_req.reply = 0;
    if ((setup->type & 0x7Fu) != (KOUSB_VENDOR_OUT & 0x7Fu))
        return fail(KOUSB_ERR_UNKNOWN_REQUEST);
    code = begin();
    if (code)
        return fail(code);
    if (fw_req.reply > fw_req.length)
        fw_req.reply = fw_req.length;
    return 0;
}

uint16_t fw_reply_length(void)
{
    return fw_req.in ? fw_req.reply : 0;
}

uint8_t fw_setup_in(uint8_t *packet, uint8_t n)
{
    uint8_t code = 0, i;
    if (!fw_req.request)
        return KOUSB_ERR_BAD_ARGUMENT;  /* already refused; the error is kept */
    if (!fw_req.in || fw_req.done + n > fw_req.reply)
        return fail(KOUSB_ERR_BAD_ARGUMENT);
    if (!n)
        return 0;  /* an empty packet ends a data stage with nothing to fetch */
    switch (fw_req.request) {
    case KOUSB_REQ_EXTERNAL:
    case KOUSB_REQ_FPGA_REGISTER: hw_bus_read(bus_of_request(), packet, n); break;
    case KOUSB_REQ_I2C:
    case KOUSB_REQ_EEPROM: code = fw_i2c_in(packet, n); break;
    case KOUSB_REQ_SPI: code = fw_spi_in(packet, n); break;
#if FW_BUILDS(KOUSB_CAP_UART)
    case KOUSB_REQ_UART: code = fw_uart_in(packet, n); break;
#endif
    default:
        /* small replies made by begin */
        for (i = 0; i < n; ++i)
            packet[i] = fw_req.buffer[fw_req.done + i];
        break;
    }
    if (code)
        return fail(code);
    fw_req.done += n;
    return 0;
}

uint8_t fw_setup_out(const uint8_t *packet, uint8_t n)
{
    uint8_t code = 0, i;
    if (!fw_req.request)
        return KOUSB_ERR_BAD_ARGUMENT;
    if (fw_req.in || fw_req.done + n > fw_req.length)
        return fail(KOUSB_ERR_BAD_ARGUMENT);
    if (!n)
        return 0;
    switch (fw_req.request) {
    case KOUSB_REQ_EXTERNAL:
    case KOUSB_REQ_FPGA_REGISTER:
    case KOUSB_REQ_COMMAND: hw_bus_write(bus_of_request(), packet, n); break;
    case KOUSB_REQ_I2C: code = fw_i2c_out(packet, n); break;
    case KOUSB_REQ_SPI: code = fw_spi_out(packet, n); break;
#if FW_BUILDS(KOUSB_CAP_UART)
    case KOUSB_REQ_UART: hw_uart_send(packet, n); break;
#endif
    case KOUSB_REQ_FPGA_CONFIG: code = fw_fpga_config_out(packet, n); break;
    default:
        /* identity fields, EEPROM pages and the configuration's length: kept for the end */
        for (i = 0; i < n; ++i)
            fw_req.buffer[fw_req.done + i] = packet[i];
        break;
    }
    if (code)
        return fail(code);
    fw_req.done += n;
    return 0;
}

uint8_t fw_setup_end(void)
{
    uint8_t code = 0;
    if (!fw_req.request)
        return KOUSB_ERR_BAD_ARGUMENT;  /* already refused; the error is kept */
    if (fw_req.done != (fw_req.in ? fw_req.reply : fw_req.length))
        return fail(KOUSB_ERR_BAD_ARGUMENT);
    switch (fw_req.request) {
    case KOUSB_REQ_IDENTITY: code = fw_req.in ? 0 : fw_identity_end(); break;
    case KOUSB_REQ_I2C: code = fw_i2c_end(); break;
    case KOUSB_REQ_SPI: code = fw_spi_end(); break;
    case KOUSB_REQ_FPGA_CONFIG: code = fw_fpga_config_end(); break;
    case KOUSB_REQ_EEPROM: code = fw_eeprom_end(); break;
    default: break;
    }
    if (code)
        return fail(code);
    fw_req.request = 0;
    return 0;
}

void fw_setup_abort(void)
{
    if (fw_req.request)
        fail(KOUSB_ERR_BUSY);
}
