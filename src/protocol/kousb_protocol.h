/* SPDX-License-Identifier: MIT */
/* The board protocol (docs/board-protocol.md) in plain C, the one definition
 * the host library and the board firmware (and its models) share: device
 * IDs, the controller's loader and memory, request codes and the capability
 * each needs, error codes, and the reply and report layouts. */
#ifndef KOUSB_PROTOCOL_H
#define KOUSB_PROTOCOL_H

#define KOUSB_VENDOR_OUT 0x40u
#define KOUSB_VENDOR_IN 0xC0u

/* The controller unprogrammed (its boot state), and our firmware's device
 * until the board maker has a vendor ID of its own. */
#define KOUSB_BOOT_VID 0x04B4u
#define KOUSB_BOOT_PID 0x8613u
#define KOUSB_FIRMWARE_VID 0x04B4u
#define KOUSB_FIRMWARE_PID 0x1004u

/* Answered by the controller's silicon whatever runs: 0xA0 reaches the
 * internal memory (FX2LP: 16 KiB of program RAM and 512 bytes of data RAM)
 * and CPUCS, whose bit 0 holds the CPU in reset. */
#define KOUSB_REQ_FIRMWARE_LOAD 0xA0u
#define KOUSB_PROGRAM_RAM_END 0x4000u
#define KOUSB_DATA_RAM_START 0xE000u
#define KOUSB_DATA_RAM_END 0xE200u
#define KOUSB_CPUCS 0xE600u
#define KOUSB_CPU_RESET 0x01u

#ifndef __SDCC
/* Non-zero when [address, address + length) lies in one region 0xA0 reaches
 * (CPUCS as a single byte). */
static inline int kousb_loader_reaches(unsigned long address, unsigned long length)
{
    const unsigned long end = address + length;
    return end <= KOUSB_PROGRAM_RAM_END || (address >= KOUSB_DATA_RAM_START && end <= KOUSB_DATA_RAM_END)
           || (address == KOUSB_CPUCS && length == 1u);
}
#endif

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
#define KOUSB_REQ_FIRST KOUSB_REQ_VERSION
#define KOUSB_REQ_LAST KOUSB_REQ_EEPROM

/* Capability bits of the version reply: which request groups the firmware serves. */
#define KOUSB_CAP_EXTERNAL 0x0001u
#define KOUSB_CAP_FPGA_REGISTER 0x0002u
#define KOUSB_CAP_I2C 0x0004u
#define KOUSB_CAP_SPI 0x0008u
#define KOUSB_CAP_UART 0x0010u
#define KOUSB_CAP_COMMAND 0x0020u
#define KOUSB_CAP_FPGA_CONFIG 0x0040u
#define KOUSB_CAP_EEPROM 0x0080u
#define KOUSB_CAP_IDENTITY_WRITE 0x0100u

/* Every request of ours in each direction it is sent: ROW(code, in, capability,
 * name, milliseconds) with `in` 1 for device-to-host, the capability bit the
 * firmware must serve for it (0: every firmware of ours), the name the host
 * uses for it in messages, and the host's time limit. */
#define KOUSB_REQUESTS(ROW)                                                               \
    ROW(KOUSB_REQ_VERSION, 1, 0, "version", 500)                                          \
    ROW(KOUSB_REQ_ERROR, 1, 0, "last error", 500)                                         \
    ROW(KOUSB_REQ_IDENTITY, 1, 0, "identity", 500)                                        \
    ROW(KOUSB_REQ_IDENTITY, 0, KOUSB_CAP_IDENTITY_WRITE, "identity writes", 100)          \
    ROW(KOUSB_REQ_FPGA_PART, 1, 0, "FPGA part", 500)                                      \
    ROW(KOUSB_REQ_EXTERNAL, 1, KOUSB_CAP_EXTERNAL, "external bus access", 500)            \
    ROW(KOUSB_REQ_EXTERNAL, 0, KOUSB_CAP_EXTERNAL, "external bus access", 500)            \
    ROW(KOUSB_REQ_FPGA_REGISTER, 1, KOUSB_CAP_FPGA_REGISTER, "FPGA register access", 500) \
    ROW(KOUSB_REQ_FPGA_REGISTER, 0, KOUSB_CAP_FPGA_REGISTER, "FPGA register access", 500) \
    ROW(KOUSB_REQ_I2C, 1, KOUSB_CAP_I2C, "I2C", 500)                                      \
    ROW(KOUSB_REQ_I2C, 0, KOUSB_CAP_I2C, "I2C", 500)                                      \
    ROW(KOUSB_REQ_SPI, 1, KOUSB_CAP_SPI, "SPI", 500)                                      \
    ROW(KOUSB_REQ_SPI, 0, KOUSB_CAP_SPI, "SPI", 500)                                      \
    ROW(KOUSB_REQ_UART, 1, KOUSB_CAP_UART, "UART", 500)                                   \
    ROW(KOUSB_REQ_UART, 0, KOUSB_CAP_UART, "UART", 500)                                   \
    ROW(KOUSB_REQ_COMMAND, 0, KOUSB_CAP_COMMAND, "the command pipe", 500)                 \
    ROW(KOUSB_REQ_FPGA_CONFIG, 0, KOUSB_CAP_FPGA_CONFIG, "FPGA configuration", 500)       \
    ROW(KOUSB_REQ_EEPROM, 1, KOUSB_CAP_EEPROM, "EEPROM", 500)                             \
    ROW(KOUSB_REQ_EEPROM, 0, KOUSB_CAP_EEPROM, "EEPROM", 100)

#define KOUSB_MAGIC0 'K'
#define KOUSB_MAGIC1 'O'
#define KOUSB_PROTOCOL_MAJOR 1u
#define KOUSB_VERSION_REPLY_SIZE 6u
/* Error reply: code, the request that failed, detail (16 bits, little-endian;
 * an SPI address out of range: log2 of the flash's size in bytes). */
#define KOUSB_ERROR_REPLY_SIZE 4u

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

/* The 16-byte interrupt status report:
 *
 *   byte  content
 *   0     report type: 0x01, board status
 *   1     flags: bit 0 the FPGA is configured; bit 1 controller firmware is
 *         running; bit 2 the UART receive queue overran since the last
 *         report (cleared by this report); bits 3-7 0
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
