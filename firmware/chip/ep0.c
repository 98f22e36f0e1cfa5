/* The control endpoint: standard requests here, vendor requests through the
 * firmware core, packet by packet through EP0BUF.
 *
 * Every handler ends in one of three ways: the request is done (the status
 * stage is acknowledged), refused (EP0 stalls), or left because a new SETUP
 * arrived while it waited for the host, which gave up on it: then EP0
 * belongs to the new request, and nothing may touch it. */
#include "chip.h"
#include "descriptors.h"

#define DONE 0
#define REFUSED 1
#define LEFT 2

static __xdata uint8_t configuration;
/* Replies of the standard requests. */
static __xdata uint8_t reply[2];

/* Waits until EP0BUF is the CPU's again. A host that stops moving the data
 * stage (about 137 ms without progress) gets the request refused. */
static uint8_t wait_ep0(void)
{
    uint16_t n = 0;
    for (;;) {
        if (USBIRQ & bmUSBIRQ_SUDAV)
            return LEFT;
        if (!(EP0CS & bmEP0CS_BUSY))
            return DONE;
        if (!++n)
            return REFUSED;
    }
}

/* Arms one IN packet of `n` bytes already in EP0BUF. */
static void arm_in(uint8_t n)
{
    EP0BCH = 0;
    EP0BCL = n;
}

/* Sends `length` bytes (at most what was asked) as the IN data stage. */
static uint8_t send(const uint8_t *data, uint16_t length)
{
    uint16_t asked = SETUPDAT[6] | (SETUPDAT[7] << 8), done = 0;
    uint8_t n, i, wait;
    if (length > asked)
        length = asked;
    do {
        wait = wait_ep0();
        if (wait)
            return wait;
        n = length - done > 64 ? 64 : (uint8_t)(length - done);
        for (i = 0; i < n; ++i)
            EP0BUF[i] = data[done + i];
        arm_in(n);
        done += n;
    } while (done < length);
    if (n == 64 && length < asked) {
        wait = wait_ep0();
        if (wait)
            return wait;
        arm_in(0);  /* a zero-length packet ends a stage shorter than asked */
    }
    return DONE;
}

static uint8_t vendor_in(uint16_t length)
{
    uint16_t total = fw_reply_length(), done = 0;
    uint8_t n, wait;
    if (!length)
        return DONE;  /* no data stage */
    do {
        wait = wait_ep0();
        if (wait)
            return wait;
        n = total - done > 64 ? 64 : (uint8_t)(total - done);
        if (fw_setup_in((uint8_t *)EP0BUF, n))
            return REFUSED;
        arm_in(n);  /* a short (or empty) packet ends the data stage */
        done += n;
    } while (done < total);
    if (n == 64 && total < length) {
        wait = wait_ep0();
        if (wait)
            return wait;
        arm_in(0);
    }
    return DONE;
}

static uint8_t vendor_out(uint16_t length)
{
    uint16_t done = 0;
    uint8_t n, wait;
    while (done < length) {
        EP0BCH = 0;
        EP0BCL = 0;  /* arm for the next OUT packet */
        wait = wait_ep0();
        if (wait)
            return wait;
        n = EP0BCL;
        if (fw_setup_out((uint8_t *)EP0BUF, n))  /* also refuses more than announced */
            return REFUSED;
        done += n;
        if (n < 64)
            break;  /* a short packet ends the stage; fw_setup_end refuses one that fell short */
    }
    return DONE;
}

static uint8_t vendor_request(void)
{
    struct fw_setup setup;
    uint8_t outcome;
    setup.type = SETUPDAT[0];
    setup.request = SETUPDAT[1];
    setup.value = SETUPDAT[2] | (SETUPDAT[3] << 8);
    setup.index = SETUPDAT[4] | (SETUPDAT[5] << 8);
    setup.length = SETUPDAT[6] | (SETUPDAT[7] << 8);
    if (fw_setup_begin(&setup))
        return REFUSED;
    outcome = (setup.type & 0x80) ? vendor_in(setup.length) : vendor_out(setup.length);
    if (outcome == DONE)
        return fw_setup_end() ? REFUSED : DONE;
    fw_setup_abort();  /* keeps a refusal's own reason */
    return outcome;
}

static void reset_toggle(uint8_t ep)
{
    TOGCTL = (ep & 0x0F) | ((ep & 0x80) ? bmTOGCTL_IO : 0);
    TOGCTL |= bmTOGCTL_R;
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
    EP1INCS = bmEP1INCS_BUSY;  /* writing 1 disarms */
}

void ep0_bus_reset(void)
{
    configuration = 0;
}

/* The control and status register of an endpoint other than EP0; STALL is
 * bit 0 in each of them. */
#define CS_STALL bmEP2CS_STALL
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

/* The USB feature selectors and test selectors (USB 2.0 tables 9-6, 9-7). */
#define ENDPOINT_HALT 0
#define TEST_MODE 2
#define TEST_PACKET 4

static uint8_t feature(uint8_t set)
{
    volatile __xdata uint8_t *cs;
    switch (SETUPDAT[0] & 0x1F) {
    case 0:  /* device: only the test modes, entered by the controller after the status stage */
        return set && SETUPDAT[2] == TEST_MODE && SETUPDAT[3] == 0 && SETUPDAT[4] == 0 && SETUPDAT[5] >= 1
                && SETUPDAT[5] <= TEST_PACKET ? DONE : REFUSED;
    case 2:  /* endpoint halt */
        cs = endpoint_cs(SETUPDAT[4]);
        if (!cs || SETUPDAT[2] != ENDPOINT_HALT || SETUPDAT[3] != 0)
            return REFUSED;
        /* STALL alone: the other bits read the endpoint's state (writing 1
         * to EP1INCS.BUSY would drop an armed report) */
        *cs = set ? CS_STALL : 0;
        if (!set)
            reset_toggle(SETUPDAT[4]);
        return DONE;
    default: return REFUSED;
    }
}

static uint8_t get_status(void)
{
    volatile __xdata uint8_t *cs;
    reply[0] = reply[1] = 0;  /* bus-powered, no remote wake-up; no interface status */
    switch (SETUPDAT[0] & 0x1F) {
    case 0: break;
    case 1:
        if (SETUPDAT[4] != 0)
            return REFUSED;
        break;
    case 2:
        if ((SETUPDAT[4] & 0x7F) == 0)
            break;  /* EP0 is never halted: its stall lasts one request */
        cs = endpoint_cs(SETUPDAT[4]);
        if (!cs)
            return REFUSED;
        reply[0] = *cs & CS_STALL;
        break;
    default: return REFUSED;
    }
    return send(reply, 2);
}

static uint8_t standard_request(void)
{
    const uint8_t *d;
    uint16_t length;
    switch (SETUPDAT[1]) {
    case 0: return get_status();
    case 1: return feature(0);  /* CLEAR_FEATURE */
    case 3: return feature(1);  /* SET_FEATURE */
    case 6:  /* GET_DESCRIPTOR */
        d = descriptor(SETUPDAT[3], SETUPDAT[2], &length);
        return d ? send(d, length) : REFUSED;
    case 8:  /* GET_CONFIGURATION */
        reply[0] = configuration;
        return send(reply, 1);
    case 9:  /* SET_CONFIGURATION */
        if (SETUPDAT[2] > 1)
            return REFUSED;
        configuration = SETUPDAT[2];
        reset_endpoints();
        return DONE;
    case 10: /* GET_INTERFACE */
        reply[0] = 0;
        return send(reply, 1);
    case 11: /* SET_INTERFACE: only alternate setting 0 */
        if (SETUPDAT[2] != 0)
            return REFUSED;
        reset_endpoints();
        return DONE;
    default: return REFUSED;
    }
}

void ep0_setup(void)
{
    uint8_t outcome;
    if ((SETUPDAT[0] & 0x60) == 0x40)
        outcome = vendor_request();
    else if ((SETUPDAT[0] & 0x60) == 0x00)
        outcome = standard_request();
    else
        outcome = REFUSED;
    if (outcome == LEFT || (USBIRQ & bmUSBIRQ_SUDAV))
        return;  /* EP0 belongs to the new request */
    if (outcome == REFUSED)
        EP0CS |= bmEP0CS_STALL;
    EP0CS |= bmEP0CS_HSNAK;  /* finish the status stage */
}

/* A function of its own, so that the simulator bench can break on it. */
static __xdata uint8_t setups;
void ep0_done(void)
{
    ++setups;
}
