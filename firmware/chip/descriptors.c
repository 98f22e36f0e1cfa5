/* USB descriptors: 04b4:1004, one configuration with interface 0 holding
 * EP1 OUT/IN (interrupt, 64 bytes), EP2 OUT and EP6 IN (bulk, 512 bytes at
 * high speed, 64 at full speed); manufacturer, product and serial strings. */
#include "chip.h"
#include "descriptors.h"

const __code uint8_t device_descriptor[18] = {
    18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64,
    (uint8_t)KOUSB_FIRMWARE_VID, KOUSB_FIRMWARE_VID >> 8, (uint8_t)KOUSB_FIRMWARE_PID, KOUSB_FIRMWARE_PID >> 8,
    (uint8_t)FW_VERSION, FW_VERSION >> 8, 1, 2, 3, 1,
};

const __code uint8_t qualifier_descriptor[10] = {10, 6, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, 1, 0};

#define CONFIG_LENGTH (9 + 9 + 4 * 7)
#define CONFIG(bulk_lo, bulk_hi)                                                        \
    {                                                                                   \
        9, 2, CONFIG_LENGTH, 0, 1, 1, 0, 0x80, 50,                                      \
        9, 4, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0,                                             \
        7, 5, 0x01, 3, 64, 0, 1,                                                        \
        7, 5, 0x81, 3, 64, 0, 1,                                                        \
        7, 5, 0x02, 2, bulk_lo, bulk_hi, 0,                                             \
        7, 5, 0x86, 2, bulk_lo, bulk_hi, 0,                                             \
    }
const __code uint8_t config_high_speed[CONFIG_LENGTH] = CONFIG(0x00, 0x02);
const __code uint8_t config_full_speed[CONFIG_LENGTH] = CONFIG(64, 0);

static const __code uint8_t language[4] = {4, 3, 0x09, 0x04};
static const __code char manufacturer[] = "USB Device Manager";
static const __code char product[] = FW_PROFILE_NAME;
/* "KO" and the board ID in hexadecimal, in UTF-16. */
static __xdata uint8_t serial[2 + 2 * 10];

static const __code char hex_digits[] = "0123456789ABCDEF";

void descriptors_init(void)
{
    uint8_t id[4], i, digit;
    serial[0] = sizeof serial;
    serial[1] = 3;
    serial[2] = 'K';
    serial[4] = 'O';
    if (fw_identity_id(id))
        id[0] = id[1] = id[2] = id[3] = 0;
    for (i = 0; i < 8; ++i) {
        digit = id[3 - i / 2];
        digit = (i & 1) ? digit & 0x0F : digit >> 4;
        serial[6 + 2 * i] = hex_digits[digit];
    }
    for (i = 3; i < sizeof serial; i += 2)
        serial[i] = 0;
}

/* Copies an ASCII text as a string descriptor into `out`; returns its length. */
static uint8_t string_descriptor(const __code char *text, __xdata uint8_t *out)
{
    uint8_t n = 0;
    while (text[n] && n < 31) {
        out[2 + 2 * n] = text[n];
        out[3 + 2 * n] = 0;
        ++n;
    }
    out[0] = 2 + 2 * n;
    out[1] = 3;
    return out[0];
}

static __xdata uint8_t string_buffer[64];

const uint8_t *descriptor(uint8_t type, uint8_t index, uint16_t *length)
{
    uint8_t i;
    switch (type) {
    case 1: *length = sizeof device_descriptor; return device_descriptor;
    case 6: *length = sizeof qualifier_descriptor; return qualifier_descriptor;
    case 2:
    case 7:
        /* the configuration for this speed, or the other one */
        *length = CONFIG_LENGTH;
        for (i = 0; i < CONFIG_LENGTH; ++i)
            string_buffer[i] = ((USBCS & bmUSBCS_HSM) == (type == 2 ? bmUSBCS_HSM : 0)) ? config_high_speed[i] : config_full_speed[i];
        string_buffer[1] = type;
        return string_buffer;
    case 3:
        switch (index) {
        case 0: *length = sizeof language; return language;
        case 1: *length = string_descriptor(manufacturer, string_buffer); return string_buffer;
        case 2: *length = string_descriptor(product, string_buffer); return string_buffer;
        case 3: *length = sizeof serial; return serial;
        default: return 0;
        }
    default: return 0;
    }
}
