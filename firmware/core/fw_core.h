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
#include "kousb_identity.h"
#include "kousb_protocol.h"

#define FW_EP0_PACKET 64u
/* Block packets: 512 bytes at high speed, 64 at full speed. */
#define FW_BULK_PACKET 512u
#define FW_BULK_PACKET_FULL_SPEED 64u
/* Largest Block write that loops back (see fw_bulk_out). */
#define FW_LOOPBACK_BYTES 64u
/* The UART's receive queue: one byte less than this is kept. */
#define FW_UART_QUEUE 256u

/* Our firmware's own version, reported in the identity reply. */
#define FW_VERSION 0x0100u

struct fw_setup {
    uint8_t type;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
};

/* The request in progress. */
struct fw_request {
    uint8_t request;
    uint8_t in;
    uint16_t value;
    uint16_t index;
    uint16_t length;
    uint16_t done;        /* data stage bytes moved so far */
    uint16_t reply;       /* IN: bytes of the reply */
    uint8_t buffer[FW_EP0_PACKET]; /* small replies, and OUT data kept for fw_setup_end */
};

/* Everything the core keeps between calls: one board's firmware state. The
 * chip has one, addressed directly; on the host every simulated board has
 * its own, and the caller points fw_current at it (for the calling thread)
 * before it calls into the core. Only the core's files use the fields, but
 * for fw_bulk_packet, fw_bulk_dropping and fw_bulk_dirty below. */
struct fw_state {
    struct fw_request req;
    uint16_t capabilities;
    char part[KOUSB_FPGA_PART_SIZE];
    uint8_t last_error, last_error_request, last_error_detail;
    uint8_t error_detail;      /* set by the board logic for the failure it returns */
    uint8_t i2c_open;          /* an I2C transaction of the current request is open */
    uint8_t identity_block[KOUSB_ID_BLOCK_SIZE];
    struct {
        uint16_t packet;
        uint8_t dirty, dropping;
        uint8_t queue[FW_LOOPBACK_BYTES];    /* bytes waiting for the next IN packet */
        uint8_t queued;
        uint8_t incoming[FW_LOOPBACK_BYTES]; /* the write in progress, unless it is dropped */
        uint8_t received;
        uint16_t stale[2];   /* bytes at the start of each IN buffer that are not the pattern */
    } bulk;
    struct {
        uint8_t host_reports;
        uint8_t last_host_report[KOUSB_REPORT_ECHO_BYTES];
        uint16_t sequence;
    } report;
    struct {
        uint32_t address;
        uint8_t selected;
    } spi;
    struct {
        uint32_t expected, received;
        uint8_t running;
    } config;
#if FW_BUILDS(KOUSB_CAP_UART)
    struct {
        uint8_t queue[FW_UART_QUEUE];
        uint8_t head, tail, overrun;  /* the receiver moves head only */
    } uart;
#endif
#ifndef __SDCC
    uint8_t version_from_eeprom;
#endif
};

#ifdef __SDCC
extern FW_XDATA struct fw_state fw_state;
#define FW fw_state
#else
extern __thread struct fw_state *fw_current;
#define FW (*fw_current)
#endif

/* What the chip layer reads of the Block loopback's state. */
#define fw_bulk_packet (FW.bulk.packet)
#define fw_bulk_dropping (FW.bulk.dropping)
#define fw_bulk_dirty (FW.bulk.dirty)

/* What the board has: capability bits and the FPGA part ("" for none).
 * Starts the core afresh: nothing kept from before but what the chips hold. */
void fw_init(uint16_t capabilities, const char *fpga_part);
#ifndef __SDCC
/* On the host only: the identity reply reports, and identity writes keep,
 * the firmware version the EEPROM's identity block holds (0 without one),
 * not FW_VERSION. A simulated board stands for whatever firmware its board
 * file names, and the board file keeps that firmware's version there. */
void fw_version_from_eeprom(uint8_t on);
#endif

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
uint8_t fw_bulk_out(const uint8_t *packet, uint16_t n);
/* The IN buffers were reset (their content is unknown): refill them whole. */
void fw_bulk_forget_in(void);
/* fw_bulk_dirty is non-zero while fw_bulk_in_fill has anything to do: bytes
 * are queued or a buffer does not hold the pattern. A variable, so that
 * committing a pattern packet costs the board no call. */
void fw_bulk_in_fill(FW_XDATA uint8_t *buffer, uint8_t slot);

/* Interrupt reports: one from the host (16 bytes), and the status report,
 * built when the host asks for it, so that it tells what is true then. */
void fw_report_received(const uint8_t *report);
void fw_status_report(uint8_t *report);

#if FW_BUILDS(KOUSB_CAP_UART)
/* A byte the UART received, from the receiver (its interrupt on the chip):
 * queued for the UART request, or, with the queue full, lost and reported
 * as an overrun in the next status report. */
void fw_uart_received(uint8_t byte);
#endif

#endif
