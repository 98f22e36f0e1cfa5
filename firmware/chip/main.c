/* Start-up and the main loop: the CPU clock, pins, endpoints, renumeration
 * after a RAM load, then polling the USB events (SETUP, bus reset, high
 * speed, suspend), the interrupt endpoint and the bulk endpoints. The only
 * interrupt is the resume that ends a suspend. */
#include "chip.h"

void resume_isr(void) __interrupt(6);

void chip_delay_ms(uint8_t ms)
{
    uint16_t i;
    while (ms--)
        for (i = 0; i < 1500u; ++i)  /* about 1 ms at 48 MHz */
            __asm nop; nop; nop; nop; __endasm;
}

/* EP1: a report from the host is taken as it comes; the status report is
 * built when the host asks for one, which the controller tells by NAKing
 * the IN token of an endpoint with nothing armed (IN-BULK-NAK, for
 * interrupt endpoints too). */
static void interrupt_poll(void)
{
    if (!(EP01STAT & bmEP01STAT_EP1OUTBSY)) {
        fw_report_received((uint8_t *)EP1OUTBUF);
        EP1OUTBC = 0;  /* re-arm */
    }
    if (IBNIRQ & bmIBNIRQ_EP1) {
        IBNIRQ = bmIBNIRQ_EP1;  /* write 1 to clear */
        NAKIRQ = bmNAKIRQ_IBN;
        if (!(EP01STAT & bmEP01STAT_EP1INBSY)) {
            fw_status_report((uint8_t *)EP1INBUF);
            EP1INBC = KOUSB_REPORT_SIZE;
        }
    }
}

/* The bus has been idle for 3 ms: the controller stops its oscillator once
 * SUSPEND is written and the CPU idles; bus activity (or the WAKEUP pin)
 * raises the resume interrupt, and the loop goes on where it was. */
static void suspend(void)
{
    WAKEUPCS |= bmWAKEUPCS_WU | bmWAKEUPCS_WU2;  /* forget an earlier wake-up (write 1 to clear) */
    SUSPEND = 0;                                 /* any write */
    PCON |= bmPCON_IDLE;
    __asm nop; nop; nop; __endasm;
}

void resume_isr(void) __interrupt(6)
{
    RESI = 0;
}

static void usb_events(void)
{
    uint8_t irq = USBIRQ;
    if (irq & bmUSBIRQ_URES) {
        USBIRQ = bmUSBIRQ_URES;  /* write 1 to clear */
        ep0_bus_reset();
        bulk_init();  /* full speed until the host grants high speed */
    }
    if (irq & bmUSBIRQ_HSGRANT) {
        USBIRQ = bmUSBIRQ_HSGRANT;
        bulk_init();
    }
    if (irq & bmUSBIRQ_SUSP) {
        USBIRQ = bmUSBIRQ_SUSP;
        suspend();
    }
    if (irq & bmUSBIRQ_SUDAV) {
        USBIRQ = bmUSBIRQ_SUDAV;
        ep0_setup();
        ep0_done();
    }
}

void main(void)
{
    CPUCS = (CPUCS & ~(bmCPUCS_CLKSPD1 | bmCPUCS_CLKSPD0)) | bmCPUCS_CLKSPD1;  /* 48 MHz */
    pins_init();
    fw_init(FW_PROFILE_CAPABILITIES, FW_PROFILE_FPGA_PART);
    I2CTL = bmI2CTL_400KHZ;
    descriptors_init();
    EP1OUTCFG = bmEP1OUTCFG_VALID | bmEP1OUTCFG_TYPE1 | bmEP1OUTCFG_TYPE0;  /* interrupt, 64 bytes */
    EP1INCFG = bmEP1INCFG_VALID | bmEP1INCFG_TYPE1 | bmEP1INCFG_TYPE0;
    bulk_init();
    IBNIE = bmIBNIE_EP1 | bmIBNIE_EP6;  /* tell when the host waits on EP1 IN or EP6 IN */
    NAKIE |= bmNAKIE_IBN;
    EP1OUTBC = 0;
    ERESI = 1;

    /* After a RAM load the boot ROM's device answers EP0: leave the bus and
     * come back as our own device. Booted from EEPROM, RENUM is set already. */
    if (!(USBCS & bmUSBCS_RENUM)) {
        USBCS |= bmUSBCS_DISCON | bmUSBCS_RENUM;
        chip_delay_ms(50);
    }
    USBCS &= ~bmUSBCS_DISCON;
    EA = 1;

    for (;;) {
        if (USBIRQ & (bmUSBIRQ_URES | bmUSBIRQ_HSGRANT | bmUSBIRQ_SUSP | bmUSBIRQ_SUDAV))
            usb_events();
        interrupt_poll();
        bulk_poll();
    }
}
