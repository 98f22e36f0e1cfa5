/* What differs between the two compilers of the core: SDCC for the board
 * (memory spaces, reentrancy) and the host compiler for the tests. */
#ifndef FW_PORT_H
#define FW_PORT_H

#include <stdint.h>

#ifdef __SDCC
#define FW_XDATA __xdata
#define FW_CODE __code
#define FW_REENTRANT __reentrant
#else
#define FW_XDATA
#define FW_CODE
#define FW_REENTRANT
#endif

#endif
