/* SPDX-License-Identifier: MIT */
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

void fw_bulk_reset(uint16_t packet)
{
    fw_bulk_packet = packet;
    FW.bulk.queued = FW.bulk.received = fw_bulk_dropping = 0;
    fw_bulk_forget_in();
}

uint8_t fw_bulk_out(const uint8_t *packet, uint16_t n)
{
    uint8_t i;
    if (!fw_bulk_dropping) {
        if (n > (uint16_t)(FW_LOOPBACK_BYTES - FW.bulk.received)) {
            fw_bulk_dropping = 1;
        } else {
            for (i = 0; i < (uint8_t)n; ++i)
                FW.bulk.incoming[FW.bulk.received + i] = packet[i];
            FW.bulk.received += (uint8_t)n;
        }
    }
    if (n >= fw_bulk_packet)
        return 0;  /* a whole packet: the write goes on */
    /* A short packet ends the write. Without room for all of it, it is
     * drained into nothing, as the host must never wait. */
    n = fw_bulk_dropping || FW.bulk.received > (uint8_t)(FW_LOOPBACK_BYTES - FW.bulk.queued) ? 0 : FW.bulk.received;
    FW.bulk.received = fw_bulk_dropping = 0;
    if (!n)
        return 0;
    for (i = 0; i < (uint8_t)n; ++i)
        FW.bulk.queue[FW.bulk.queued + i] = FW.bulk.incoming[i];
    FW.bulk.queued += (uint8_t)n;
    fw_bulk_dirty = 1;
    return 1;
}

void fw_bulk_forget_in(void)
{
    FW.bulk.stale[0] = FW.bulk.stale[1] = FW_BULK_PACKET;
    fw_bulk_dirty = 1;
}

void fw_bulk_in_fill(FW_XDATA uint8_t *buffer, uint8_t slot)
{
    uint16_t i, end = FW.bulk.stale[slot] < fw_bulk_packet ? FW.bulk.stale[slot] : fw_bulk_packet;
    for (i = FW.bulk.queued; i < end; ++i)
        buffer[i] = (uint8_t)i;
    for (i = 0; i < FW.bulk.queued; ++i)
        buffer[i] = FW.bulk.queue[i];
    FW.bulk.stale[slot] = FW.bulk.queued;
    FW.bulk.queued = 0;
    fw_bulk_dirty = FW.bulk.stale[0] || FW.bulk.stale[1];
}
