// SPDX-License-Identifier: MIT
/* The board profile the image is built for: our board with an FPGA, or with
 * -DFW_PROFILE_GENERIC a generic CY7C68013A-56 board. */
#ifndef PROFILE_H
#define PROFILE_H
#ifdef FW_PROFILE_GENERIC
#include "generic56.h"
#else
#include "kousbfpga.h"
#endif
#endif
