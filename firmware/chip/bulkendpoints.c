/* EP2 OUT and EP6 IN, 512-byte buffers double-buffered, in ports mode. The
 * CPU never copies a full packet: an OUT packet goes to the core, which
 * keeps a short write for loopback, and is handed straight back to the USB
 * side (OUTPKTEND with SKIP); an IN packet is committed from a buffer that
 * already holds the counter pattern (the core rewrites only what a loopback
 * changed). Packets are 512 bytes at high speed and 64 at full speed
 * (USBCS.HSM), which can change at every bus reset. IN packets are committed
 * while the host is reading, which the IN-BULK-NAK flag tells; a loopback
 * write drops packets committed ahead. */
#include "chip.h"

/* FIFORESET takes the endpoint's number in its low bits. */
#define EP2 2
#define EP6 6

static __xdata uint8_t in_slot;
static __bit host_reading;

static void reset_in(void)
{
    FIFORESET = bmFIFORESET_NAKALL;  /* NAK all while resetting */
    SYNCDELAY;
    FIFORESET = EP6;
    SYNCDELAY;
    FIFORESET = 0x00;
    SYNCDELAY;
    in_slot = 0;
    fw_bulk_forget_in();
}

void bulk_init(void)
{
    REVCTL = bmREVCTL_DYN_OUT | bmREVCTL_ENH_PKT;  /* the firmware arms OUT buffers */
    SYNCDELAY;
    IFCONFIG = bmIFCONFIG_IFCLKSRC | bmIFCONFIG_3048MHZ;  /* ports mode, internal 48 MHz interface clock */
    SYNCDELAY;
    FIFORESET = bmFIFORESET_NAKALL;
    SYNCDELAY;
    EP2CFG = bmEP2CFG_VALID | bmEP2CFG_TYPE1 | bmEP2CFG_BUF1;  /* OUT, bulk, 512, double */
    SYNCDELAY;
    EP6CFG = bmEP6CFG_VALID | bmEP6CFG_DIR | bmEP6CFG_TYPE1 | bmEP6CFG_BUF1;  /* IN, bulk, 512, double */
    SYNCDELAY;
    EP4CFG = bmEP4CFG_TYPE1;  /* not valid */
    SYNCDELAY;
    EP8CFG = bmEP8CFG_DIR | bmEP8CFG_TYPE1;
    SYNCDELAY;
    FIFORESET = EP2;
    SYNCDELAY;
    FIFORESET = EP6;
    SYNCDELAY;
    EP2FIFOCFG = 0x00;
    SYNCDELAY;
    EP6FIFOCFG = 0x00;
    SYNCDELAY;
    OUTPKTEND = bmOUTPKTEND_SKIP | EP2;  /* arm both OUT buffers */
    SYNCDELAY;
    OUTPKTEND = bmOUTPKTEND_SKIP | EP2;
    SYNCDELAY;
    FIFORESET = 0x00;
    SYNCDELAY;
    in_slot = 0;
    host_reading = 0;
    fw_bulk_reset((USBCS & bmUSBCS_HSM) ? FW_BULK_PACKET : FW_BULK_PACKET_FULL_SPEED);
}

void bulk_poll(void)
{
    uint16_t n;
    if (!(EP2468STAT & bmEP2468STAT_EP2E)) {
        n = (EP2BCH << 8) | EP2BCL;
        if ((n != fw_bulk_packet || !fw_bulk_dropping) && fw_bulk_out((const uint8_t *)EP2FIFOBUF, n)) {
            host_reading = 0;
            reset_in();  /* what was committed ahead would come before the loopback */
        }
        OUTPKTEND = bmOUTPKTEND_SKIP | EP2;  /* give the buffer back */
        SYNCDELAY;
    }
    if (IBNIRQ & bmIBNIRQ_EP6) {
        IBNIRQ = bmIBNIRQ_EP6;  /* write 1 to clear */
        NAKIRQ = bmNAKIRQ_IBN;
        host_reading = 1;
    }
    /* Commit while the host reads and a buffer is free; on the board that is
     * at most the two buffers per pass. */
    while (host_reading && !(EP2468STAT & bmEP2468STAT_EP6F)) {
        if (fw_bulk_dirty)
            fw_bulk_in_fill(EP6FIFOBUF, in_slot);
        in_slot ^= 1;
        EP6BCH = fw_bulk_packet >> 8;
        SYNCDELAY;
        EP6BCL = (uint8_t)fw_bulk_packet;
        SYNCDELAY;
    }
}
