/* Shared parts of the chip layer. */
#ifndef CHIP_H
#define CHIP_H

#include "fx2regs.h"
#include "fw_core.h"
#include "fw_hw.h"
#include "profile.h"

void chip_delay_ms(uint8_t ms);
void ep0_setup(void);
void bulk_init(void);
void bulk_poll(void);
void uart_init(void);
void pins_init(void);
/* The serial number string descriptor, made at start-up from the board ID. */
void descriptors_init(void);
/* Breakpoint target for the simulator bench: called when a SETUP has been handled. */
void ep0_done(void);

#endif
