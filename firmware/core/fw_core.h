// SPDX-License-Identifier: MIT
/* The board firmware's request handling and board logic, free of registers:
 * compiled by SDCC for the controller and by the host compiler for tests.
 *
 * A control request goes through in three steps, as the controller's EP0
 * delivers it: fw_setup_begin with the SETUP packet, then the data stage in
 * packets of at most FW_EP0_PACKET bytes (fw_setup_in fills IN packets,
 * fw_setup_out takes OUT packets; a request with wLength 0 has no data
 * stage), then fw_setup_end. Any step that returns non-zero means: stall
 * the request; the error code is kept for the error request (0xB1), which
 * answers it and clears it. A request the host gives up on half-way ends
 * with fw_setup_abort. */
#ifndef FW_CORE_H
#define FW_CORE_H

#include "fw_port.h"
#include "kousb_protocol.h"

#define FW_EP0_PACKET 64u
/* Block packets: 512 bytes at high speed, 64 at full speed. */
#define FW_BULK_PACKET 512u
#define FW_BULK_PACKET_FULL_SPEED 64u
/* Largest Block write that loops back (see fw_bulk_out). */
#define FW_LOOPBACK_BYTES 64u

/* Our firmware's own version, reported in the identity reply. */
#define FW_VERSION 0x0100u

struct fw_setup {
    uint8_t type;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
};

/* What the board has: capability bits and the FPGA part ("" for none). */
void fw_init(uint16_t capabilities, const char *fpga_part);

uint8_t fw_setup_begin(const struct fw_setup *setup);
/* Bytes of the IN data stage (at most the length asked; may be less). */
uint16_t fw_reply_length(void);
uint8_t fw_setup_in(uint8_t *packet, uint8_t n);
uint8_t fw_setup_out(const uint8_t *packet, uint8_t n);
uint8_t fw_setup_end(void);
/* Ends the request in progress unfinished (the host sent a new SETUP, or its
 * data stage timed out): what it holds of a bus is released, nothing is
 * written, and "busy" is kept for the error request. */
void fw_setup_abort(void);

/* The board ID (4 bytes, little-endian) from the EEPROM's identity block;
 * non-zero when there is no block or no EEPROM. */
uint8_t fw_identity_id(uint8_t *id);

/* Block (bulk) loopback. A write is a transfer: packets of the current
 * packet size, ended by a shorter one (the host ends a write of whole
 * packets with a zero-length packet). A write of at most
 * FW_LOOPBACK_BYTES loops back (as long as the queue has room for all of
 * it); longer ones are taken and dropped. This means the same at both
 * speeds. Every IN packet is a whole packet: the queued bytes first, then
 * the byte counter pattern (byte i of the packet is i mod 256). The IN
 * buffers keep their content between packets, so fw_bulk_in_fill only
 * rewrites what changed in the buffer `slot` (0 or 1, the controller's
 * double buffer) since its last use: at most FW_LOOPBACK_BYTES, and nothing
 * at all while nothing is queued.
 *
 * fw_bulk_reset starts over with packets of `packet` bytes (the speed may
 * have changed): nothing queued, no write open, IN buffers of unknown
 * content; fw_init starts at high speed.
 * fw_bulk_out takes one OUT packet; non-zero when it ended a write that
 * loops back (IN packets committed ahead of it must go). While
 * fw_bulk_dropping is set, the write in progress is too long to loop back
 * and a whole packet changes nothing: the board hands it back without a
 * call. */
void fw_bulk_reset(uint16_t packet);
extern FW_XDATA uint16_t fw_bulk_packet;
extern FW_XDATA uint8_t fw_bulk_dropping;
uint8_t fw_bulk_out(const uint8_t *packet, uint16_t n);
/* The IN buffers were reset (their content is unknown): refill them whole. */
void fw_bulk_forget_in(void);
/* Non-zero while fw_bulk_in_fill has anything to do: bytes are queued or a
 * buffer does not hold the pattern. A variable, so that committing a
 * pattern packet costs the board no call. */
extern FW_XDATA uint8_t fw_bulk_dirty;
void fw_bulk_in_fill(FW_XDATA uint8_t *buffer, uint8_t slot);

/* Interrupt reports: one from the host (16 bytes), and the status report,
 * built when the host asks for it, so that it tells what is true then. */
void fw_report_received(const uint8_t *report);
void fw_status_report(uint8_t *report);

#endif
