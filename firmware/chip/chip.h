/* Shared parts of the chip layer. */
#ifndef CHIP_H
#define CHIP_H

#include "fx2regs.h"
#include "fw_core.h"
#include "fw_hw.h"
#include "profile.h"

/* Registers of the FIFO list need a synchronisation delay after a write. */
#define SYNCDELAY __asm nop; nop; nop; nop; __endasm

void chip_delay_ms(uint8_t ms);
void ep0_setup(void);
/* After a bus reset the device is unconfigured. */
void ep0_bus_reset(void);
/* EP2 and EP6 from the start, with the packet size of the current speed
 * (USBCS.HSM); again after a bus reset, a switch to high speed and
 * SET_CONFIGURATION / SET_INTERFACE. */
void bulk_init(void);
void bulk_poll(void);
void pins_init(void);
/* The serial number string descriptor, made at start-up from the board ID. */
void descriptors_init(void);
/* Breakpoint target for the simulator bench: called when a SETUP has been handled. */
void ep0_done(void);

#endif
