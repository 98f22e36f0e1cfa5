/* The pins' idle levels and bit-banged SPI (mode 0, MSB first). */
#include "chip.h"

#define SPI_SCK FW_PIN_SPI_SCK
#define SPI_MOSI FW_PIN_SPI_MOSI
#define SPI_MISO FW_PIN_SPI_MISO
#define SPI_CS FW_PIN_SPI_CS

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
