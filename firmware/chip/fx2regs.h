/* The FX2LP registers the firmware uses (XDATA registers and SFRs). */
#ifndef FX2REGS_H
#define FX2REGS_H

#include <stdint.h>

#define XREG(a) (*(volatile __xdata uint8_t *)(a))

#define CPUCS XREG(0xE600)
#define IFCONFIG XREG(0xE601)
#define FIFORESET XREG(0xE604)
#define UART230 XREG(0xE608)
#define REVCTL XREG(0xE60B)
#define EP1OUTCFG XREG(0xE610)
#define EP1INCFG XREG(0xE611)
#define EP2CFG XREG(0xE612)
#define EP4CFG XREG(0xE613)
#define EP6CFG XREG(0xE614)
#define EP8CFG XREG(0xE615)
#define EP2FIFOCFG XREG(0xE618)
#define EP6FIFOCFG XREG(0xE61A)
#define OUTPKTEND XREG(0xE649)
#define IBNIE XREG(0xE658)
#define IBNIRQ XREG(0xE659)
#define NAKIE XREG(0xE65A)
#define NAKIRQ XREG(0xE65B)
#define USBIRQ XREG(0xE65D)
#define I2CS XREG(0xE678)
#define I2DAT XREG(0xE679)
#define I2CTL XREG(0xE67A)
#define USBCS XREG(0xE680)
#define TOGCTL XREG(0xE683)
#define EP0BCH XREG(0xE68A)
#define EP0BCL XREG(0xE68B)
#define EP1OUTBC XREG(0xE68D)
#define EP1INBC XREG(0xE68F)
#define EP2BCH XREG(0xE690)
#define EP2BCL XREG(0xE691)
#define EP6BCH XREG(0xE698)
#define EP6BCL XREG(0xE699)
#define EP0CS XREG(0xE6A0)
#define EP1OUTCS XREG(0xE6A1)
#define EP1INCS XREG(0xE6A2)
#define EP2CS XREG(0xE6A3)
#define EP6CS XREG(0xE6A5)
#define SETUPDAT ((volatile __xdata uint8_t *)0xE6B8)
#define EP0BUF ((volatile __xdata uint8_t *)0xE740)
#define EP1OUTBUF ((volatile __xdata uint8_t *)0xE780)
#define EP1INBUF ((volatile __xdata uint8_t *)0xE7C0)
#define EP2FIFOBUF ((volatile __xdata uint8_t *)0xF000)
#define EP6FIFOBUF ((volatile __xdata uint8_t *)0xF800)

/* Bits. */
#define bmSUDAV 0x01
#define bmHSNAK 0x80
#define bmBUSY 0x02
#define bmSTALL 0x01
#define bmDISCON 0x08
#define bmRENUM 0x02
#define bmHSM 0x80
#define bmI2C_START 0x80
#define bmI2C_STOP 0x40
#define bmI2C_LASTRD 0x20
#define bmI2C_BERR 0x04
#define bmI2C_ACK 0x02
#define bmI2C_DONE 0x01
#define bmEP2EMPTY 0x01   /* EP2468STAT */
#define bmEP6FULL 0x20    /* EP2468STAT */
#define bmEP1OUTBSY 0x02  /* EP01STAT */
#define bmEP1INBSY 0x04   /* EP01STAT */
#define bmIBN_EP6 0x08    /* IBNIE/IBNIRQ */

__sfr __at(0x80) IOA;
__sfr __at(0x87) PCON;
__sfr __at(0x90) IOB;
__sfr __at(0x91) EXIF;
__sfr __at(0x98) SCON0;
__sfr __at(0x99) SBUF0;
__sfr __at(0xA8) IE;
__sfr __at(0xAA) EP2468STAT;
__sfr __at(0xB0) IOD;
__sfr __at(0xB2) OEA;
__sfr __at(0xB3) OEB;
__sfr __at(0xB5) OED;
__sfr __at(0xBA) EP01STAT;
__sbit __at(0x98) RI_0;
__sbit __at(0x99) TI_0;
__sbit __at(0xAC) ES0;
__sbit __at(0xAF) EA;

/* Registers of the FIFO list need a synchronisation delay after a write. */
#define SYNCDELAY __asm nop; nop; nop; nop; __endasm

#endif
