/* EP2 OUT and EP6 IN, 512 bytes double-buffered, in ports mode. The CPU
 * never copies a full packet: an OUT packet is either a short write kept for
 * loopback (at most FW_LOOPBACK_BYTES) or handed straight back to the USB
 * side (OUTPKTEND with SKIP); an IN packet is committed from a buffer that
 * already holds the counter pattern (the core rewrites only what a loopback
 * changed). IN packets are committed while the host is reading, which the
 * IN-BULK-NAK flag tells; a loopback write drops packets committed ahead. */
#include "chip.h"

static __xdata uint8_t in_slot;
static __bit host_reading;

static void reset_in(void)
{
    FIFORESET = 0x80;  /* NAK all while resetting */
    SYNCDELAY;
    FIFORESET = 0x06;
    SYNCDELAY;
    FIFORESET = 0x00;
    SYNCDELAY;
    in_slot = 0;
    fw_bulk_forget_in();
}

void bulk_init(void)
{
    REVCTL = 0x03;  /* DYN_OUT, ENH_PKT: the firmware arms OUT buffers */
    SYNCDELAY;
    IFCONFIG = 0xC0;  /* ports mode, internal 48 MHz interface clock */
    SYNCDELAY;
    FIFORESET = 0x80;
    SYNCDELAY;
    EP2CFG = 0xA2;  /* OUT, bulk, 512, double */
    SYNCDELAY;
    EP6CFG = 0xE2;  /* IN, bulk, 512, double */
    SYNCDELAY;
    EP4CFG = 0x20;  /* not valid */
    SYNCDELAY;
    EP8CFG = 0x60;
    SYNCDELAY;
    FIFORESET = 0x02;
    SYNCDELAY;
    FIFORESET = 0x06;
    SYNCDELAY;
    EP2FIFOCFG = 0x00;
    SYNCDELAY;
    EP6FIFOCFG = 0x00;
    SYNCDELAY;
    OUTPKTEND = 0x82;  /* arm both OUT buffers */
    SYNCDELAY;
    OUTPKTEND = 0x82;
    SYNCDELAY;
    FIFORESET = 0x00;
    SYNCDELAY;
    IBNIE = bmIBN_EP6;
    NAKIE |= 0x01;
    in_slot = 0;
    host_reading = 0;
    fw_bulk_forget_in();
}

void bulk_poll(void)
{
    uint16_t n;
    if (!(EP2468STAT & bmEP2EMPTY)) {
        n = (EP2BCH << 8) | EP2BCL;
        if (n <= FW_LOOPBACK_BYTES && fw_bulk_out((const uint8_t *)EP2FIFOBUF, n)) {
            host_reading = 0;
            reset_in();  /* what was committed ahead would come before the loopback */
        }
        OUTPKTEND = 0x82;  /* give the buffer back */
        SYNCDELAY;
    }
    if (IBNIRQ & bmIBN_EP6) {
        IBNIRQ = bmIBN_EP6;  /* write 1 to clear */
        NAKIRQ = 0x01;
        host_reading = 1;
    }
    /* Commit while the host reads and a buffer is free; on the board that is
     * at most the two buffers per pass. */
    while (host_reading && !(EP2468STAT & bmEP6FULL)) {
        if (fw_bulk_dirty)
            fw_bulk_in_fill(EP6FIFOBUF, in_slot);
        in_slot ^= 1;
        EP6BCH = FW_BULK_PACKET >> 8;
        SYNCDELAY;
        EP6BCL = FW_BULK_PACKET & 0xFF;
        SYNCDELAY;
    }
}
