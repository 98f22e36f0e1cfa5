/* The FPGA (slave-serial configuration with the DONE check) and the
 * multiplexed 8-bit bus to its registers, its command port and the external
 * bus behind it. A profile without an FPGA has none of these; the core never
 * asks for them there, since their capability bits are off. */
#include "chip.h"

#if FW_PROFILE_HAS_FPGA

#define CS_REG FW_PIN_CS_REG
#define CS_EXT FW_PIN_CS_EXT
#define CS_CMD FW_PIN_CS_CMD
#define FPGA_DIN FW_PIN_FPGA_DIN
#define FPGA_PROG FW_PIN_FPGA_PROG
#define FPGA_INIT FW_PIN_FPGA_INIT
#define FPGA_DONE FW_PIN_FPGA_DONE
#define FPGA_CCLK FW_PIN_FPGA_CCLK
#define BUS_ALE_L FW_PIN_BUS_ALE_L
#define BUS_ALE_H FW_PIN_BUS_ALE_H
#define BUS_RD FW_PIN_BUS_RD
#define BUS_WR FW_PIN_BUS_WR

uint8_t hw_fpga_begin(void)
{
    uint16_t n;
    FPGA_CCLK = 0;
    FPGA_PROG = 0;  /* clear the configuration: PROG_B low for well over 0.5 us */
    for (n = 0; n < 100; ++n) {
    }
    FPGA_PROG = 1;
    for (n = 1; !FPGA_INIT && n; ++n) {
    }
    return FPGA_INIT ? 0 : KOUSB_ERR_DEVICE;
}

void hw_fpga_shift(const uint8_t *data, uint8_t n)
{
    uint8_t i, bit, byte;
    for (i = 0; i < n; ++i) {
        byte = data[i];
        for (bit = 0; bit < 8; ++bit) {
            FPGA_DIN = (byte & 0x80) ? 1 : 0;
            FPGA_CCLK = 1;
            byte <<= 1;
            FPGA_CCLK = 0;
        }
    }
}

uint8_t hw_fpga_finish(void)
{
    uint16_t clocks;
    /* DONE rises during start-up; the FPGA needs a few clocks after it too. */
    for (clocks = 0; clocks < 2000 && !FPGA_DONE; ++clocks) {
        FPGA_CCLK = 1;
        FPGA_CCLK = 0;
    }
    for (clocks = 0; clocks < 16; ++clocks) {
        FPGA_CCLK = 1;
        FPGA_CCLK = 0;
    }
    return FPGA_DONE;
}

uint8_t hw_fpga_done(void)
{
    return FPGA_DONE;
}

void hw_bus_address(uint8_t bus, uint16_t address)
{
    CS_REG = bus != FW_BUS_FPGA;
    CS_EXT = bus != FW_BUS_EXTERNAL;
    CS_CMD = bus != FW_BUS_COMMAND;
    OEB = 0xFF;
    IOB = address >> 8;
    BUS_ALE_H = 1;
    BUS_ALE_H = 0;
    IOB = (uint8_t)address;
    BUS_ALE_L = 1;
    BUS_ALE_L = 0;
}

void hw_bus_read(uint8_t bus, uint8_t *data, uint8_t n)
{
    uint8_t i;
    (void)bus;
    OEB = 0x00;
    for (i = 0; i < n; ++i) {
        BUS_RD = 0;
        data[i] = IOB;
        BUS_RD = 1;
    }
}

void hw_bus_write(uint8_t bus, const uint8_t *data, uint8_t n)
{
    uint8_t i;
    (void)bus;
    OEB = 0xFF;
    for (i = 0; i < n; ++i) {
        IOB = data[i];
        BUS_WR = 0;
        BUS_WR = 1;
    }
    OEB = 0x00;
}

#else

uint8_t hw_fpga_begin(void) { return KOUSB_ERR_DEVICE; }
void hw_fpga_shift(const uint8_t *data, uint8_t n) { (void)data; (void)n; }
uint8_t hw_fpga_finish(void) { return 0; }
uint8_t hw_fpga_done(void) { return 0; }
void hw_bus_address(uint8_t bus, uint16_t address) { (void)bus; (void)address; }
void hw_bus_read(uint8_t bus, uint8_t *data, uint8_t n) { (void)bus; (void)data; (void)n; }
void hw_bus_write(uint8_t bus, const uint8_t *data, uint8_t n) { (void)bus; (void)data; (void)n; }

#endif
