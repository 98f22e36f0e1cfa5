/* The control endpoint: standard requests here, vendor requests through the
 * firmware core, packet by packet through EP0BUF. */
#include "chip.h"
#include "descriptors.h"

static __xdata uint8_t configuration;

static void stall(void)
{
    EP0CS |= bmSTALL;
}

static uint8_t wait_not_busy(void)
{
    uint16_t n = 0;
    while (EP0CS & bmBUSY)
        if (!++n)
            return 0;  /* the host went away */
    return 1;
}

/* Sends `length` bytes (at most what was asked) as the IN data stage. */
static void send(const uint8_t *data, uint16_t length)
{
    uint16_t asked = SETUPDAT[6] | (SETUPDAT[7] << 8), done = 0;
    uint8_t n, i;
    if (length > asked)
        length = asked;
    do {
        if (!wait_not_busy())
            return;
        n = length - done > 64 ? 64 : (uint8_t)(length - done);
        for (i = 0; i < n; ++i)
            EP0BUF[i] = data[done + i];
        EP0BCH = 0;
        EP0BCL = n;
        done += n;
    } while (done < length);
    if (n == 64 && length < asked && wait_not_busy()) {
        EP0BCH = 0;
        EP0BCL = 0;  /* a zero-length packet ends a stage shorter than asked */
    }
}

static void vendor_request(void)
{
    struct fw_setup setup;
    uint16_t total, done = 0;
    uint8_t n;
    setup.type = SETUPDAT[0];
    setup.request = SETUPDAT[1];
    setup.value = SETUPDAT[2] | (SETUPDAT[3] << 8);
    setup.index = SETUPDAT[4] | (SETUPDAT[5] << 8);
    setup.length = SETUPDAT[6] | (SETUPDAT[7] << 8);
    if (fw_setup_begin(&setup)) {
        stall();
        return;
    }
    if (setup.type & 0x80) {
        total = fw_reply_length();
        do {
            if (!wait_not_busy())
                return;
            n = total - done > 64 ? 64 : (uint8_t)(total - done);
            if (fw_setup_in((uint8_t *)EP0BUF, n)) {
                stall();
                return;
            }
            EP0BCH = 0;
            EP0BCL = n;  /* a short (or empty) packet ends the data stage */
            done += n;
        } while (done < total);
        if (n == 64 && total < setup.length && wait_not_busy()) {
            EP0BCH = 0;
            EP0BCL = 0;
        }
    } else {
        while (done < setup.length) {
            EP0BCH = 0;
            EP0BCL = 0;  /* arm for the next OUT packet */
            if (!wait_not_busy())
                return;
            n = EP0BCL;
            if (fw_setup_out((uint8_t *)EP0BUF, n)) {  /* also refuses more than announced */
                stall();
                return;
            }
            done += n;
        }
    }
    if (fw_setup_end())
        stall();
}

static void reset_toggle(uint8_t ep)
{
    TOGCTL = (ep & 0x0F) | ((ep & 0x80) >> 3);
    TOGCTL |= 0x20;
}

/* Endpoints back to their first state: data toggles, FIFOs, EP1 re-armed
 * and its stale IN report dropped. */
static void reset_endpoints(void)
{
    reset_toggle(0x01);
    reset_toggle(0x81);
    reset_toggle(0x02);
    reset_toggle(0x86);
    bulk_init();
    EP1OUTBC = 0;
    EP1INCS = bmBUSY;
}

static volatile __xdata uint8_t *endpoint_cs(uint8_t ep)
{
    switch (ep) {
    case 0x01: return &EP1OUTCS;
    case 0x81: return &EP1INCS;
    case 0x02: return &EP2CS;
    case 0x86: return &EP6CS;
    default: return 0;
    }
}

static void standard_request(void)
{
    static __xdata uint8_t reply[2];
    volatile __xdata uint8_t *cs;
    const uint8_t *d;
    uint16_t length;
    uint8_t type = SETUPDAT[0], request = SETUPDAT[1];
    switch (request) {
    case 6:  /* GET_DESCRIPTOR */
        d = descriptor(SETUPDAT[3], SETUPDAT[2], &length);
        if (!d)
            stall();
        else
            send(d, length);
        return;
    case 9:  /* SET_CONFIGURATION */
        if (SETUPDAT[2] > 1) {
            stall();
            return;
        }
        configuration = SETUPDAT[2];
        reset_endpoints();
        return;
    case 8:  /* GET_CONFIGURATION */
        reply[0] = configuration;
        send(reply, 1);
        return;
    case 11: /* SET_INTERFACE: only alternate setting 0 */
        if (SETUPDAT[2] != 0)
            stall();
        else
            reset_endpoints();
        return;
    case 10: /* GET_INTERFACE */
        reply[0] = 0;
        send(reply, 1);
        return;
    case 0:  /* GET_STATUS */
        reply[0] = reply[1] = 0;
        if ((type & 0x1F) == 2) {
            cs = endpoint_cs(SETUPDAT[4]);
            if (!cs) {
                stall();
                return;
            }
            reply[0] = *cs & bmSTALL;
        }
        send(reply, 2);
        return;
    case 1:  /* CLEAR_FEATURE */
    case 3:  /* SET_FEATURE */
        if ((type & 0x1F) != 2) {
            if (request == 3)
                stall();  /* no remote wake-up, no test modes */
            return;
        }
        cs = endpoint_cs(SETUPDAT[4]);
        if (!cs || SETUPDAT[2] != 0) {
            stall();
            return;
        }
        if (request == 3) {
            *cs |= bmSTALL;
        } else {
            *cs &= ~bmSTALL;
            reset_toggle(SETUPDAT[4]);
        }
        return;
    default: stall(); return;
    }
}

void ep0_setup(void)
{
    if ((SETUPDAT[0] & 0x60) == 0x40)
        vendor_request();
    else if ((SETUPDAT[0] & 0x60) == 0x00)
        standard_request();
    else
        stall();
    EP0CS |= bmHSNAK;  /* finish the status stage */
}

/* A function of its own, so that the simulator bench can break on it. */
static __xdata uint8_t setups;
void ep0_done(void)
{
    ++setups;
}
