/* Start-up and the main loop: the CPU clock, pins, endpoints, renumeration
 * after a RAM load, then polling the control endpoint, the interrupt
 * endpoint and the bulk endpoints. Only the UART receive uses an interrupt. */
#include "chip.h"

/* MPAGE is the high address byte of MOVX @Ri, which SDCC's start-up uses. */
__sfr __at(0x92) _XPAGE;

void uart0_isr(void) __interrupt(4);

void chip_delay_ms(uint8_t ms)
{
    uint16_t i;
    while (ms--)
        for (i = 0; i < 1500u; ++i)  /* about 1 ms at 48 MHz */
            __asm nop; nop; nop; nop; __endasm;
}

static void interrupt_poll(void)
{
    if (!(EP01STAT & bmEP1OUTBSY)) {
        fw_report_received((uint8_t *)EP1OUTBUF);
        EP1OUTBC = 0;  /* re-arm */
    }
    if (!(EP01STAT & bmEP1INBSY)) {
        fw_status_report((uint8_t *)EP1INBUF);
        EP1INBC = KOUSB_REPORT_SIZE;
    }
}

void main(void)
{
    CPUCS = (CPUCS & ~0x18) | 0x10;  /* 48 MHz */
    pins_init();
    fw_init(FW_PROFILE_CAPABILITIES, FW_PROFILE_FPGA_PART);
    I2CTL = 0x01;                    /* 400 kHz */
    descriptors_init();
    EP1OUTCFG = 0xB0;                /* interrupt OUT, 64 bytes */
    EP1INCFG = 0xB0;                 /* interrupt IN, 64 bytes */
    bulk_init();
    uart_init();
    EP1OUTBC = 0;

    /* After a RAM load the boot ROM's device answers EP0: leave the bus and
     * come back as our own device. Booted from EEPROM, RENUM is set already. */
    if (!(USBCS & bmRENUM)) {
        USBCS |= bmDISCON | bmRENUM;
        chip_delay_ms(50);
    }
    USBCS &= ~bmDISCON;
    EA = 1;

    for (;;) {
        if (USBIRQ & bmSUDAV) {
            USBIRQ = bmSUDAV;  /* write 1 to clear */
            ep0_setup();
            ep0_done();
        }
        interrupt_poll();
        bulk_poll();
    }
}
