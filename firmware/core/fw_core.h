/* The board firmware's request handling and board logic, free of registers:
 * compiled by SDCC for the controller and by the host compiler for tests.
 *
 * A control request goes through in three steps, as the controller's EP0
 * delivers it: fw_setup_begin with the SETUP packet, then the data stage in
 * packets of at most FW_EP0_PACKET bytes (fw_setup_in fills IN packets,
 * fw_setup_out takes OUT packets), then fw_setup_end. Any step that returns
 * non-zero means: stall the request; the error code is kept for the error
 * request (0xB1), which answers it and clears it. */
#ifndef FW_CORE_H
#define FW_CORE_H

#include "fw_port.h"
#include "libusb/protocol_defs.h"

#define FW_EP0_PACKET 64u
#define FW_BULK_PACKET 512u
/* Largest Block write that loops back (see fw_bulk_out). */
#define FW_LOOPBACK_BYTES 64u
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

/* What the board has: capability bits and the FPGA part ("" for none). */
void fw_init(uint16_t capabilities, const char *fpga_part);

uint8_t fw_setup_begin(const struct fw_setup *setup);
/* Bytes of the IN data stage (at most the length asked; may be less). */
uint16_t fw_reply_length(void);
uint8_t fw_setup_in(uint8_t *packet, uint8_t n);
uint8_t fw_setup_out(const uint8_t *packet, uint8_t n);
uint8_t fw_setup_end(void);

/* The board ID (4 bytes, little-endian) from the EEPROM's identity block;
 * non-zero when there is no block or no EEPROM. */
uint8_t fw_identity_id(uint8_t *id);

/* UART receive queue: the board's receive interrupt hands each byte over. */
void fw_uart_received(uint8_t byte) FW_REENTRANT;

/* Block (bulk) loopback: OUT packets of at most FW_LOOPBACK_BYTES queue up
 * (as long as there is room), longer ones are dropped. Every IN packet is a
 * full FW_BULK_PACKET: the queued bytes first, then the byte counter pattern
 * (byte i of the packet is i mod 256). The IN buffers keep their content
 * between packets, so fw_bulk_in_fill only rewrites what changed in the
 * buffer `slot` (0 or 1, the controller's double buffer) since its last use:
 * at most FW_LOOPBACK_BYTES, and nothing at all while nothing is queued. */
uint8_t fw_bulk_out(const uint8_t *packet, uint16_t n);
uint8_t fw_bulk_queued(void);
/* The IN buffers were reset (their content is unknown): refill them whole. */
void fw_bulk_forget_in(void);
/* Non-zero while fw_bulk_in_fill has anything to do: bytes are queued or a
 * buffer does not hold the pattern. A variable, so that committing a
 * pattern packet costs the board no call. */
extern FW_XDATA uint8_t fw_bulk_dirty;
void fw_bulk_in_fill(FW_XDATA uint8_t *buffer, uint8_t slot);

/* Interrupt reports: one from the host (16 bytes), and the status report. */
void fw_report_received(const uint8_t *report);
void fw_status_report(uint8_t *report);

#endif
