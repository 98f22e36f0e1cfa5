/* What differs between the two compilers of the core: SDCC for the board
 * (memory spaces) and the host compiler for the tests. */
#ifndef FW_PORT_H
#define FW_PORT_H

#include <stdint.h>

#ifdef __SDCC
#define FW_XDATA __xdata
#else
#define FW_XDATA
#endif

#endif
