/* SPDX-License-Identifier: MIT */
/* The boot EEPROM (24LC128 class at I2C address 0x51: two address bytes,
 * 64-byte pages, a write cycle of up to 5 ms during which it does not
 * acknowledge) and the identity block in it. */
#include "fw_internal.h"

#define EEPROM_WRITE (0x51u << 1)
#define EEPROM_READ (EEPROM_WRITE | 1u)
/* Address polls after a page write: about 30 us each at 400 kHz, so well
 * over the 5 ms write cycle. */
#define WRITE_CYCLE_POLLS 400u

static uint8_t send_offset(uint16_t offset)
{
    uint8_t address[2];
    uint8_t code = hw_i2c_start(EEPROM_WRITE);
    if (code)
        return code;
    address[0] = (uint8_t)(offset >> 8);
    address[1] = (uint8_t)offset;
    return hw_i2c_write(address, 2);
}

static uint8_t start_read(uint16_t offset)
{
    uint8_t code = send_offset(offset);
    if (!code)
        code = hw_i2c_start(EEPROM_READ);
    if (code)
        hw_i2c_stop();
    return code;
}

uint8_t fw_eeprom_read(uint16_t offset, uint8_t *data, uint8_t n)
{
    uint8_t code = start_read(offset);
    if (code)
        return code;
    code = hw_i2c_read(data, n, 0);
    if (code)
        hw_i2c_stop();  /* a read that failed half-way ends with a STOP too */
    return code;
}

uint8_t fw_eeprom_write_page(uint16_t offset, const uint8_t *data, uint8_t n)
{
    uint16_t polls;
    uint8_t code = send_offset(offset);
    if (!code)
        code = hw_i2c_write(data, n);
    hw_i2c_stop();  /* the STOP starts the write cycle */
    if (code)
        return code;
    for (polls = 0; polls < WRITE_CYCLE_POLLS; ++polls) {
        code = hw_i2c_start(EEPROM_WRITE);
        hw_i2c_stop();
        if (code != KOUSB_ERR_NO_ACKNOWLEDGE)
            return code;
    }
    return KOUSB_ERR_BUSY;
}

/* 0xBB: reads of any length, writes within one page. */
uint8_t fw_eeprom_begin(void)
{
    uint8_t code;
    if (fw_req.length > KOUSB_MAX_REQUEST_DATA)
        return KOUSB_ERR_BAD_ARGUMENT;
    if ((uint32_t)fw_req.value + fw_req.length > KOUSB_EEPROM_SIZE)
        return KOUSB_ERR_OUT_OF_RANGE;
    if (!fw_req.in)
        return (fw_req.value % KOUSB_EEPROM_PAGE_SIZE) + fw_req.length > KOUSB_EEPROM_PAGE_SIZE
            ? KOUSB_ERR_BAD_ARGUMENT : 0;
    fw_req.reply = fw_req.length;
    if (!fw_req.length)
        return 0;
    code = start_read(fw_req.value);  /* ends the transaction itself on failure */
    FW.i2c_open = !code;  /* the data stage reads it like an I2C request's */
    return code;
}

uint8_t fw_eeprom_end(void)
{
    if (fw_req.in || !fw_req.length)
        return 0;
    return fw_eeprom_write_page(fw_req.value, fw_req.buffer, (uint8_t)fw_req.length);
}

/* 0xB2 IN builds the reply from the block; OUT checks the field here and
 * writes it at the end of the data stage. */
static uint8_t has_block(const uint8_t *block)
{
    return block[0] == KOUSB_ID_MAGIC0 && block[1] == KOUSB_ID_MAGIC1 && block[2] == KOUSB_ID_MAGIC2
        && block[3] == KOUSB_ID_MAGIC3;
}

uint8_t fw_identity_begin(void)
{
    uint8_t i, code;
    if (!fw_req.in) {
        switch (fw_req.value) {
        case KOUSB_FIELD_ID: return fw_req.length == 4 ? 0 : KOUSB_ERR_BAD_ARGUMENT;
        case KOUSB_FIELD_NAME: return fw_req.length < KOUSB_ID_NAME_FIELD_SIZE ? 0 : KOUSB_ERR_BAD_ARGUMENT;
        case KOUSB_FIELD_CLASS: return fw_req.length == 1 ? 0 : KOUSB_ERR_BAD_ARGUMENT;
        default: return KOUSB_ERR_BAD_ARGUMENT;
        }
    }
    code = fw_eeprom_read(KOUSB_ID_OFFSET, FW.identity_block, KOUSB_ID_BLOCK_SIZE);
    if (code)
        return code;
    for (i = 0; i < KOUSB_IDENTITY_SIZE; ++i)
        fw_req.buffer[i] = 0;
    if (has_block(FW.identity_block)) {
        for (i = 0; i < 4; ++i)
            fw_req.buffer[i] = FW.identity_block[KOUSB_ID_ID_OFFSET - KOUSB_ID_OFFSET + i];
        fw_req.buffer[4] = FW.identity_block[KOUSB_ID_CLASS_OFFSET - KOUSB_ID_OFFSET];
        for (i = 0; i < KOUSB_ID_NAME_FIELD_SIZE - 1; ++i)
            fw_req.buffer[KOUSB_IDENTITY_NAME_OFFSET + i] = FW.identity_block[KOUSB_ID_NAME_OFFSET - KOUSB_ID_OFFSET + i];
    }
    fw_req.buffer[5] = (uint8_t)FW_VERSION;
    fw_req.buffer[6] = (uint8_t)(FW_VERSION >> 8);
#ifndef __SDCC
    if (FW.version_from_eeprom)  /* the block's, 0 without one */
        for (i = 0; i < 2; ++i)
            fw_req.buffer[5 + i] = has_block(FW.identity_block)
                ? FW.identity_block[KOUSB_ID_FIRMWARE_VERSION_OFFSET - KOUSB_ID_OFFSET + i] : 0;
#endif
    fw_req.reply = KOUSB_IDENTITY_SIZE;
    return 0;
}

uint8_t fw_identity_end(void)
{
    uint8_t i, at, code;
    code = fw_eeprom_read(KOUSB_ID_OFFSET, FW.identity_block, KOUSB_ID_BLOCK_SIZE);
    if (code)
        return code;
    if (!has_block(FW.identity_block)) {
        for (i = 0; i < KOUSB_ID_BLOCK_SIZE; ++i)
            FW.identity_block[i] = 0;
        FW.identity_block[0] = KOUSB_ID_MAGIC0;
        FW.identity_block[1] = KOUSB_ID_MAGIC1;
        FW.identity_block[2] = KOUSB_ID_MAGIC2;
        FW.identity_block[3] = KOUSB_ID_MAGIC3;
        FW.identity_block[KOUSB_ID_VERSION_OFFSET - KOUSB_ID_OFFSET] = KOUSB_ID_LAYOUT_VERSION;
    }
#ifndef __SDCC
    if (!FW.version_from_eeprom)
#endif
    {
        FW.identity_block[KOUSB_ID_FIRMWARE_VERSION_OFFSET - KOUSB_ID_OFFSET] = (uint8_t)FW_VERSION;
        FW.identity_block[KOUSB_ID_FIRMWARE_VERSION_OFFSET - KOUSB_ID_OFFSET + 1] = (uint8_t)(FW_VERSION >> 8);
    }
    switch (fw_req.value) {
    case KOUSB_FIELD_ID:
        for (i = 0; i < 4; ++i)
            FW.identity_block[KOUSB_ID_ID_OFFSET - KOUSB_ID_OFFSET + i] = fw_req.buffer[i];
        break;
    case KOUSB_FIELD_CLASS:
        FW.identity_block[KOUSB_ID_CLASS_OFFSET - KOUSB_ID_OFFSET] = fw_req.buffer[0];
        break;
    default:
        at = KOUSB_ID_NAME_OFFSET - KOUSB_ID_OFFSET;
        for (i = 0; i < KOUSB_ID_NAME_FIELD_SIZE; ++i) {
            if (i < fw_req.length && !fw_req.buffer[i])
                return KOUSB_ERR_BAD_ARGUMENT;  /* a name holds no NUL */
            FW.identity_block[at + i] = i < fw_req.length ? fw_req.buffer[i] : 0;
        }
        break;
    }
    return fw_eeprom_write_page(KOUSB_ID_OFFSET, FW.identity_block, KOUSB_ID_BLOCK_SIZE);
}

uint8_t fw_identity_id(uint8_t *id)
{
    uint8_t block[KOUSB_ID_NAME_OFFSET - KOUSB_ID_OFFSET];
    uint8_t i, code = fw_eeprom_read(KOUSB_ID_OFFSET, block, sizeof block);
    if (code)
        return code;
    if (!has_block(block))
        return KOUSB_ERR_NOT_CONFIGURED;
    for (i = 0; i < 4; ++i)
        id[i] = block[KOUSB_ID_ID_OFFSET - KOUSB_ID_OFFSET + i];
    return 0;
}
