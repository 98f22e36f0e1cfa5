/* Block loopback with the CPU out of the way of large transfers: short
 * writes are kept and come back at the start of the next IN packet; every
 * other byte of an IN packet is the counter pattern, which stays in the
 * endpoint's buffers, so a packet costs only its commit. */
#include "fw_internal.h"

static FW_XDATA uint8_t queue[FW_LOOPBACK_BYTES];
static FW_XDATA uint8_t queued;
/* Bytes at the start of each IN buffer that are not the pattern; a fresh
 * buffer holds nothing of it yet. */
static FW_XDATA uint16_t stale[2] = {FW_BULK_PACKET, FW_BULK_PACKET};
FW_XDATA uint8_t fw_bulk_dirty = 1;

uint8_t fw_bulk_out(const uint8_t *packet, uint16_t n)
{
    uint8_t i;
    if (n > (uint16_t)(FW_LOOPBACK_BYTES - queued))
        return 0;  /* no room: drained into nothing, as the host must never wait */
    for (i = 0; i < (uint8_t)n; ++i)
        queue[queued + i] = packet[i];
    queued += (uint8_t)n;
    fw_bulk_dirty = 1;
    return 1;
}

void fw_bulk_forget_in(void)
{
    stale[0] = stale[1] = FW_BULK_PACKET;
    fw_bulk_dirty = 1;
}

uint8_t fw_bulk_queued(void)
{
    return queued;
}

void fw_bulk_in_fill(FW_XDATA uint8_t *buffer, uint8_t slot)
{
    uint16_t i;
    for (i = queued; i < stale[slot]; ++i)
        buffer[i] = (uint8_t)i;
    for (i = 0; i < queued; ++i)
        buffer[i] = queue[i];
    stale[slot] = queued;
    queued = 0;
    fw_bulk_dirty = stale[0] || stale[1];
}
