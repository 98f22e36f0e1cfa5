// SPDX-License-Identifier: MIT
#ifndef DESCRIPTORS_H
#define DESCRIPTORS_H
#include <stdint.h>
/* The descriptor of `type` and `index`, and its length; 0 for none. */
const uint8_t *descriptor(uint8_t type, uint8_t index, uint16_t *length);
#endif
