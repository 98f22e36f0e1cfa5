// SPDX-License-Identifier: MIT
/* The numbers of the board protocol (docs/board-protocol.md) in plain C, so
 * that the host library (protocol.h) and the board firmware share one
 * definition. */
#ifndef KOUSB_PROTOCOL_DEFS_H
#define KOUSB_PROTOCOL_DEFS_H

#define KOUSB_VENDOR_OUT 0x40u
#define KOUSB_VENDOR_IN 0xC0u

/* Our firmware's device, until the board maker has a vendor ID of its own. */
#define KOUSB_FIRMWARE_VID 0x04B4u
#define KOUSB_FIRMWARE_PID 0x1004u

/* Requests answered by our firmware. */
#define KOUSB_REQ_VERSION 0xB0u
#define KOUSB_REQ_ERROR 0xB1u
#define KOUSB_REQ_IDENTITY 0xB2u
#define KOUSB_REQ_FPGA_PART 0xB3u
#define KOUSB_REQ_EXTERNAL 0xB4u
#define KOUSB_REQ_FPGA_REGISTER 0xB5u
#define KOUSB_REQ_I2C 0xB6u
#define KOUSB_REQ_SPI 0xB7u
#define KOUSB_REQ_UART 0xB8u
#define KOUSB_REQ_COMMAND 0xB9u
#define KOUSB_REQ_FPGA_CONFIG 0xBAu
#define KOUSB_REQ_EEPROM 0xBBu

#define KOUSB_MAGIC0 'K'
#define KOUSB_MAGIC1 'O'
#define KOUSB_PROTOCOL_MAJOR 1u
#define KOUSB_VERSION_REPLY_SIZE 6u
#define KOUSB_ERROR_REPLY_SIZE 4u

/* Capability bits of the version reply. */
#define KOUSB_CAP_EXTERNAL 0x0001u
#define KOUSB_CAP_FPGA_REGISTER 0x0002u
#define KOUSB_CAP_I2C 0x0004u
#define KOUSB_CAP_SPI 0x0008u
#define KOUSB_CAP_UART 0x0010u
#define KOUSB_CAP_COMMAND 0x0020u
#define KOUSB_CAP_FPGA_CONFIG 0x0040u
#define KOUSB_CAP_EEPROM 0x0080u
#define KOUSB_CAP_IDENTITY_WRITE 0x0100u

/* Identity reply: ID (LE32), class, firmware version (LE16), 0, name (32). */
#define KOUSB_IDENTITY_SIZE 40u
#define KOUSB_IDENTITY_NAME_OFFSET 8u
#define KOUSB_IDENTITY_NAME_SIZE 32u
#define KOUSB_FIELD_ID 0u
#define KOUSB_FIELD_NAME 1u
#define KOUSB_FIELD_CLASS 2u

#define KOUSB_CONFIG_BEGIN 0u
#define KOUSB_CONFIG_DATA 1u
#define KOUSB_CONFIG_END 2u

#define KOUSB_MAX_REQUEST_DATA 4096u
#define KOUSB_FPGA_PART_SIZE 32u

/* Error codes of the error reply. */
#define KOUSB_ERR_NONE 0u
#define KOUSB_ERR_UNKNOWN_REQUEST 1u
#define KOUSB_ERR_BAD_ARGUMENT 2u
#define KOUSB_ERR_NO_ACKNOWLEDGE 3u
#define KOUSB_ERR_OUT_OF_RANGE 4u
#define KOUSB_ERR_NOT_CONFIGURED 5u
#define KOUSB_ERR_BUSY 6u
#define KOUSB_ERR_DEVICE 7u

/* The 16-byte interrupt status report, the same on simulated and real boards:
 *
 *   byte  content
 *   0     report type: 0x01, board status
 *   1     flags: bit 0 the FPGA is configured; bit 1 controller firmware is
 *         running (clear: boot loader only); bit 2 the UART receive queue
 *         overran since the last report (cleared by this report); bits 3-7 0
 *   2-3   bytes waiting in the UART receive queue, little-endian
 *   4     board temperature, whole degrees Celsius, signed (the I2C sensor's)
 *   5     interrupt reports received from the host so far, modulo 256
 *   6-7   this report's sequence number, little-endian: 1 for the first
 *         report, wrapping after 65535 to 0
 *   8-15  the first 8 bytes of the last report the host wrote (zeros before) */
#define KOUSB_REPORT_SIZE 16u
#define KOUSB_REPORT_TYPE_STATUS 0x01u
#define KOUSB_REPORT_FPGA_CONFIGURED 0x01u
#define KOUSB_REPORT_FIRMWARE_RUNNING 0x02u
#define KOUSB_REPORT_UART_OVERRUN 0x04u
#define KOUSB_REPORT_ECHO_OFFSET 8u
#define KOUSB_REPORT_ECHO_BYTES 8u

#endif
