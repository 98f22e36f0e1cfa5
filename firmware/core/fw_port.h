// SPDX-License-Identifier: MIT
/* What differs between the two compilers of the core: SDCC for the board
 * (memory spaces, and only the request groups its profile serves) and the
 * host compiler for the simulated boards and the tests (all of them, each
 * board's capabilities chosen when its core starts). */
#ifndef FW_PORT_H
#define FW_PORT_H

#include <stdint.h>

#ifdef __SDCC
#include "profile.h"
#define FW_XDATA __xdata
#define FW_BUILDS(capability) ((FW_PROFILE_CAPABILITIES & (capability)) != 0)
#else
#define FW_XDATA
#define FW_BUILDS(capability) 1
#endif

#endif
