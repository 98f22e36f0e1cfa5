/* The controller's I2C master (I2CS, I2DAT), with every wait bounded so a
 * bus without pull-ups or a stuck device ends in an error, not a hang. */
#include "chip.h"

static __xdata uint8_t reading_started;

static uint8_t wait_done(void)
{
    uint16_t n = 0;
    while (!(I2CS & bmI2CS_DONE))
        if (!++n)
            return KOUSB_ERR_BUSY;
    return (I2CS & bmI2CS_BERR) ? KOUSB_ERR_BUSY : 0;
}

static void wait_stop(void)
{
    uint16_t n = 0;
    while ((I2CS & bmI2CS_STOP) && ++n) {
    }
}

uint8_t hw_i2c_start(uint8_t address_rw)
{
    uint8_t code;
    wait_stop();
    I2CS = bmI2CS_START;
    I2DAT = address_rw;
    reading_started = 0;
    code = wait_done();
    if (code)
        return code;
    return (I2CS & bmI2CS_ACK) ? 0 : KOUSB_ERR_NO_ACKNOWLEDGE;
}

uint8_t hw_i2c_write(const uint8_t *data, uint8_t n)
{
    uint8_t i, code;
    for (i = 0; i < n; ++i) {
        I2DAT = data[i];
        code = wait_done();
        if (code)
            return code;
        if (!(I2CS & bmI2CS_ACK))
            return KOUSB_ERR_NO_ACKNOWLEDGE;
    }
    return 0;
}

/* Reading I2DAT hands over a byte and starts the next one; LASTRD before the
 * read that starts the final byte makes the controller NAK it, and the final
 * byte is read right after the STOP. */
uint8_t hw_i2c_read(uint8_t *data, uint8_t n, uint16_t left)
{
    uint8_t i, code;
    if (!reading_started) {
        if (left + n == 1)
            I2CS = bmI2CS_LASTRD;
        (void)I2DAT;  /* starts the first byte */
        reading_started = 1;
    }
    for (i = 0; i < n; ++i) {
        code = wait_done();
        if (code)
            return code;
        if (left + (n - 1 - i) == 1)
            I2CS = bmI2CS_LASTRD;
        if (left + (n - 1 - i) == 0) {
            I2CS = bmI2CS_STOP;
            data[i] = I2DAT;
            wait_stop();
        } else {
            data[i] = I2DAT;
        }
    }
    return 0;
}

void hw_i2c_stop(void)
{
    I2CS = bmI2CS_STOP;
    wait_stop();
}
