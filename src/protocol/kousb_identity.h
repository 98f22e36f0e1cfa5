/* SPDX-License-Identifier: MIT */
/* The identity block in a board's boot EEPROM, shared by the host library
 * (src/usb/eepromlayout.h) and the board firmware (C). Offsets are EEPROM byte
 * offsets; multi-byte fields are little-endian.
 *
 *   offset  size  content
 *   0x3F00  4     magic "KOID"
 *   0x3F04  1     layout version (1)
 *   0x3F05  1     device class
 *   0x3F06  2     firmware version
 *   0x3F08  4     board ID, signed
 *   0x3F0C  32    name, Latin-1, NUL-terminated and NUL-padded (at most 31 characters)
 *
 * The whole block lies in one 64-byte EEPROM page (0x3F00-0x3F3F). */
#ifndef KOUSB_IDENTITY_H
#define KOUSB_IDENTITY_H

#define KOUSB_EEPROM_SIZE 16384u
#define KOUSB_EEPROM_PAGE_SIZE 64u
#define KOUSB_EEPROM_ERASED 0xFFu

#define KOUSB_ID_OFFSET 0x3F00u
#define KOUSB_ID_MAGIC_OFFSET KOUSB_ID_OFFSET
#define KOUSB_ID_VERSION_OFFSET (KOUSB_ID_OFFSET + 4u)
#define KOUSB_ID_CLASS_OFFSET (KOUSB_ID_OFFSET + 5u)
#define KOUSB_ID_FIRMWARE_VERSION_OFFSET (KOUSB_ID_OFFSET + 6u)
#define KOUSB_ID_ID_OFFSET (KOUSB_ID_OFFSET + 8u)
#define KOUSB_ID_NAME_OFFSET (KOUSB_ID_OFFSET + 12u)
#define KOUSB_ID_NAME_FIELD_SIZE 32u
#define KOUSB_ID_BLOCK_SIZE (12u + KOUSB_ID_NAME_FIELD_SIZE)

#define KOUSB_ID_MAGIC0 'K'
#define KOUSB_ID_MAGIC1 'O'
#define KOUSB_ID_MAGIC2 'I'
#define KOUSB_ID_MAGIC3 'D'
#define KOUSB_ID_LAYOUT_VERSION 1u

#endif
