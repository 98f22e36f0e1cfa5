/* Block loopback with the CPU out of the way of large transfers: a short
 * write is kept and comes back at the start of the next IN packet; every
 * other byte of an IN packet is the counter pattern, which stays in the
 * endpoint's buffers, so a packet costs only its commit. */
#include "fw_internal.h"

/* A loopback write fills a full-speed packet at most, so the queue always
 * fits into the next IN packet. */
#if FW_LOOPBACK_BYTES > FW_BULK_PACKET_FULL_SPEED
#error "a loopback write must fit into one IN packet"
#endif

FW_XDATA uint16_t fw_bulk_packet;
FW_XDATA uint8_t fw_bulk_dirty;
FW_XDATA uint8_t fw_bulk_dropping;
/* Bytes waiting for the next IN packet. */
static FW_XDATA uint8_t queue[FW_LOOPBACK_BYTES];
static FW_XDATA uint8_t queued;
/* The write in progress: its bytes so far, unless it is being dropped. */
static FW_XDATA uint8_t incoming[FW_LOOPBACK_BYTES];
static FW_XDATA uint8_t received;
/* Bytes at the start of each IN buffer that are not the pattern. */
static FW_XDATA uint16_t stale[2];

void fw_bulk_reset(uint16_t packet)
{
    fw_bulk_packet = packet;
    queued = received = fw_bulk_dropping = 0;
    fw_bulk_forget_in();
}

uint8_t fw_bulk_out(const uint8_t *packet, uint16_t n)
{
    uint8_t i;
    if (!fw_bulk_dropping) {
        if (n > (uint16_t)(FW_LOOPBACK_BYTES - received)) {
            fw_bulk_dropping = 1;
        } else {
            for (i = 0; i < (uint8_t)n; ++i)
                incoming[received + i] = packet[i];
            received += (uint8_t)n;
        }
    }
    if (n >= fw_bulk_packet)
        return 0;  /* a whole packet: the write goes on */
    /* A short packet ends the write. Without room for all of it, it is
     * drained into nothing, as the host must never wait. */
    n = fw_bulk_dropping || received > (uint8_t)(FW_LOOPBACK_BYTES - queued) ? 0 : received;
    received = fw_bulk_dropping = 0;
    if (!n)
        return 0;
    for (i = 0; i < (uint8_t)n; ++i)
        queue[queued + i] = incoming[i];
    queued += (uint8_t)n;
    fw_bulk_dirty = 1;
    return 1;
}

void fw_bulk_forget_in(void)
{
    stale[0] = stale[1] = FW_BULK_PACKET;
    fw_bulk_dirty = 1;
}

void fw_bulk_in_fill(FW_XDATA uint8_t *buffer, uint8_t slot)
{
    uint16_t i, end = stale[slot] < fw_bulk_packet ? stale[slot] : fw_bulk_packet;
    for (i = queued; i < end; ++i)
        buffer[i] = (uint8_t)i;
    for (i = 0; i < queued; ++i)
        buffer[i] = queue[i];
    stale[slot] = queued;
    queued = 0;
    fw_bulk_dirty = stale[0] || stale[1];
}
