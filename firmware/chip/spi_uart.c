/* Bit-banged SPI (mode 0, MSB first) and UART0 at 115200 8N1 with a receive
 * interrupt that feeds the core's queue. */
#include "chip.h"

__sbit __at(FW_PIN_SPI_SCK) SPI_SCK;
__sbit __at(FW_PIN_SPI_MOSI) SPI_MOSI;
__sbit __at(FW_PIN_SPI_MISO) SPI_MISO;
__sbit __at(FW_PIN_SPI_CS) SPI_CS;

void pins_init(void)
{
    IOA = FW_IOA_IDLE;  /* levels first, then drive them */
    IOD = FW_IOD_IDLE;
    OEA = FW_OEA_OUTPUTS;
    OED = FW_OED_OUTPUTS;
    OEB = 0x00;
}

void hw_spi_select(uint8_t on)
{
    SPI_SCK = 0;
    SPI_CS = on ? 0 : 1;
}

void hw_spi_write(const uint8_t *data, uint8_t n)
{
    uint8_t i, bit, byte;
    for (i = 0; i < n; ++i) {
        byte = data[i];
        for (bit = 0; bit < 8; ++bit) {
            SPI_MOSI = (byte & 0x80) ? 1 : 0;
            SPI_SCK = 1;
            byte <<= 1;
            SPI_SCK = 0;
        }
    }
}

void hw_spi_read(uint8_t *data, uint8_t n)
{
    uint8_t i, bit, byte;
    SPI_MOSI = 1;
    for (i = 0; i < n; ++i) {
        byte = 0;
        for (bit = 0; bit < 8; ++bit) {
            SPI_SCK = 1;
            byte = (byte << 1) | (SPI_MISO ? 1 : 0);
            SPI_SCK = 0;
        }
        data[i] = byte;
    }
}

static volatile __bit tx_idle;

void uart_init(void)
{
    UART230 = 0x01;  /* UART0 from the internal 115200 baud generator */
    PCON &= ~0x80;   /* SMOD0 = 0: 115200 */
    SCON0 = 0x50;    /* mode 1, receive on */
    tx_idle = 1;
    ES0 = 1;
}

void hw_uart_send(const uint8_t *data, uint8_t n)
{
    uint8_t i;
    uint16_t wait;
    for (i = 0; i < n; ++i) {
        for (wait = 1; !tx_idle && wait; ++wait) {
        }
        tx_idle = 0;
        SBUF0 = data[i];
    }
}

/* Both flags raise the one UART interrupt, so both are cleared here. */
void uart0_isr(void) __interrupt(4)
{
    if (RI_0) {
        fw_uart_received(SBUF0);
        RI_0 = 0;
    }
    if (TI_0) {
        TI_0 = 0;
        tx_idle = 1;
    }
}
