// SPDX-License-Identifier: MIT
#pragma once
// An FX2LP (CY7C68013A) on a lab board, running whatever its RAM holds in
// s51, as a device model for the emulated USB bus. The 8051 is s51's; the
// rest of the controller is played here from the register table
// (firmware/chip/fx2registers.txt) and the register sheet's rules:
//
//  - the boot ROM: at power-on the boot EEPROM decides (0xC0: its IDs,
//    0xC2: load and run the firmware in it); otherwise the default device
//    04b4:8613 answers EP0 and its 0xA0 request reads and writes the
//    internal RAM and CPUCS, whose reset bit holds or starts the CPU;
//  - the USB engine: SETUPDAT with SUDAV, the EP0 handshake (HSNAK, BUSY,
//    STALL, arming by EP0BCL in either direction, SUDPTR), EP1 OUT/IN,
//    EP2 OUT and EP6 IN with their buffers, byte counts, CS and
//    EP2468STAT/EP01STAT flags, OUTPKTEND, FIFORESET, the IN-BULK-NAK
//    requests when the host polls an IN endpoint with nothing armed, the
//    W1C interrupt requests, USBCS (HSM at high speed, DISCON and RENUM
//    for renumeration) and SUSPEND;
//  - the I2C master with the board's EEPROM and sensor, the port pins with
//    the chips on them (SPI flash, the FPGA), UART0's transmitter.
//
// The CPU runs only while the host waits for something (a control stage,
// a packet): until the firmware answers, or until a budget of emulated time
// is spent, which the host then sees as a NAK (its transfer times out).
// Emulated time is the CPU's machine cycles at its clock (CPUCS) plus the
// time the I2C bus takes; the cycle count is kept for the benchmark.
//
// What the silicon would do differently from what the firmware expects is
// collected in takeFaults(): a test fails on any. Thread-safe (the bus asks
// from umockdev's thread, tests look from theirs).
#include "devicemodel.h"
#include "emulatedboard.h"
#include "i2ccontroller.h"
#include "registertable.h"
#include "s51cpu.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class Fx2Emulator : public DeviceModel, private PinAccess {
public:
    // The programs and files the emulator needs.
    struct Tools {
        std::string s51;            // Debian's sdcc-ucsim
        std::string shim;           // the console shim (s51shim.c), built here
        std::string registerTable;  // firmware/chip/fx2registers.txt
    };

    enum class Speed { High, Full };

    // A board of `board`'s kind on a port of `speed` (a full-speed port: USB
    // 1.1, some hubs and virtual machines), not yet powered.
    Fx2Emulator(const Tools& tools, EmulatedBoard::Kind board, Speed speed = Speed::High);
    ~Fx2Emulator() override;

    void attach() override;
    bool fullSpeed() const override { return m_speed == Speed::Full; }
    ModelReply control(const std::uint8_t* setup, std::uint8_t* data) override;
    ModelReply transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data, std::size_t length) override;
    bool clearHalt(std::uint8_t endpoint) override;
    std::uint16_t productId() const override;
    bool takeRelease() override;

    // The board's chips, under the emulator's lock.
    void withBoard(const std::function<void(EmulatedBoard&)>& use);
    // What went wrong since the last call, one line each: firmware
    // behaviour the silicon would punish, and failures of the emulator itself.
    std::vector<std::string> takeFaults();
    // The CPU's machine cycles from the start of the last transfer (control
    // transfer: its SETUP) to its end, without the time between transfers.
    std::uint64_t lastTransferCycles() const;
    // The host suspends the bus; true when the firmware entered suspend
    // (wrote SUSPEND) within `withinMs` of emulated time.
    bool suspendBus(unsigned withinMs);
    // A bus reset without unplugging (the host resets the port).
    void resetBus();
    // Byte `n` of the next I2C transaction with `address` meets a bus error.
    void failI2cByte(std::uint8_t address, int n);
    // A control transfer whose host sends `bytes` of its OUT data stage and
    // then waits `ms` for the board to take more before it gives up (its
    // timeout): the rest never comes, nor the status stage.
    void abandonControl(const std::uint8_t* setup, const std::uint8_t* data, std::size_t bytes, unsigned ms);

private:
    struct Ep0 {
        bool active = false;  // a control transfer for the firmware is under way
        std::uint8_t setup[8] = {};
        std::size_t moved = 0;  // bytes of its data stage so far
        bool hsnak = false, busy = false, stall = false;
        bool inArmed = false, outArmed = false;
        bool wholeStage = false;  // the core sends inPacket as the whole data stage (SUDPTR)
        std::vector<std::uint8_t> inPacket;
    };
    struct Ep1 {
        bool outArmed = false, outStall = false, inArmed = false, inStall = false;
        std::vector<std::uint8_t> inPacket;
    };
    struct BulkEndpoint {
        std::string name;  // "EP2"
        int number = 0;
        bool in = false;
        bool stall = false;
        std::deque<std::vector<std::uint8_t>> packets;   // OUT: the CPU's, oldest first; IN: committed
        std::vector<std::vector<std::uint8_t>> buffers;  // IN: what each buffer holds
        std::size_t window = 0;                          // IN: the buffer the CPU sees
    };

    // Construction and power.
    void watchAccesses();
    void powerOn();
    void bootFromEeprom();
    void resetRegisters();
    void startCpu();

    // The CPU and its time.
    bool cpuCanRun() const;
    bool runUntil(const std::function<bool()>& until, std::uint64_t budgetNs);
    // The time between two transfers of the host, the CPU running.
    void hostGap();
    void handle(const S51Access& access);
    void fault(const std::string& what) override;
    std::uint64_t now() const override { return m_nowNs; }

    // Registers by name, from the table.
    std::uint16_t reg(const std::string& name) const { return m_table.address(name); }
    std::uint8_t bit(const std::string& name, const std::string& b) const { return m_table.bit(name, b); }
    std::uint8_t xdata(const std::string& name) const { return m_cpu->xdata(reg(name)); }
    void setXdata(const std::string& name, std::uint8_t value) { m_cpu->writeXdata(reg(name), {value}); }
    void raise(const std::string& irq, const std::string& b) { m_irq[irq] |= bit(irq, b); }
    // Writes the registers whose value the silicon decides.
    void present();

    // The boot ROM's device (RENUM clear) and its 0xA0 request.
    bool renumerated() const;
    ModelReply bootRom(const std::uint8_t* setup, std::uint8_t* data);
    ModelReply firmwareLoad(const std::uint8_t* setup, std::uint8_t* data);

    // USB engine (fx2emulator_usb.cpp).
    // `deliver`: the OUT bytes the host sends before it gives up (all: no limit).
    ModelReply firmwareControl(const std::uint8_t* setup, std::uint8_t* data, std::size_t deliver = SIZE_MAX);
    ModelReply interruptEndpoint(std::uint8_t endpoint, std::uint8_t* data, std::size_t length);
    ModelReply bulkIn(BulkEndpoint& ep, std::uint8_t* data, std::size_t length);
    ModelReply bulkOut(BulkEndpoint& ep, const std::uint8_t* data, std::size_t length);
    void busReset();
    void inBulkNak(int endpoint);
    std::size_t maxPacket() const { return m_speed == Speed::High ? 512 : 64; }
    void resetFifo(BulkEndpoint& ep);
    void showOutPacket(BulkEndpoint& ep);
    void releaseOutPacket(BulkEndpoint& ep);
    void commitInPacket(BulkEndpoint& ep, std::uint8_t countLow);
    void autoDescriptor();
    void usbRegisterWritten(const std::string& name, std::uint8_t value);
    void presentUsb(std::map<std::uint16_t, std::uint8_t>& regs) const;
    void checkBusIdle(const char* when);

    // Pins and UART (fx2emulator_pins.cpp).
    void watchPins();
    void portWritten(const S51Access& access);
    void applyDrives();
    void uartSent();
    bool level(std::uint8_t pin) const override;
    bool isOutput(std::uint8_t pin) const override;
    std::uint8_t port(std::uint8_t sfr) const override;
    void drive(std::uint8_t pin, bool level) override;
    void drivePort(std::uint8_t sfr, std::uint8_t value) override;

    mutable std::mutex m_mutex;
    RegisterTable m_table;
    EmulatedBoard m_board;
    std::unique_ptr<S51Cpu> m_cpu;
    std::unique_ptr<I2cController> m_i2c;
    std::vector<std::string> m_faults;
    std::map<std::uint16_t, std::function<void(std::uint8_t)>> m_onWrite;  // XDATA register writes

    bool m_powered = false;
    bool m_cpuReset = true;  // CPUCS.8051RES as the host sets it
    bool m_cpuStarted = false;
    bool m_suspended = false;
    bool m_released = false;  // came back renumerated since takeRelease
    const Speed m_speed;
    std::uint16_t m_bootIds[3] = {0x04B4, 0x8613, 0x0001};  // default device: VID, PID, DID
    std::uint8_t m_bootConfiguration = 0;                   // default device: as the host set it
    std::uint16_t m_firmwarePid = 0;                        // as the firmware's device descriptor last said

    std::uint64_t m_cycles = 0;
    std::uint64_t m_lastCycles = 0;
    std::uint64_t m_nowNs = 0;
    unsigned m_clockMhz = 12;  // the CPU clock CPUCS selects; a machine cycle is 4 clocks

    std::map<std::string, std::uint8_t> m_irq;  // the W1C request registers
    std::uint8_t m_usbcs = 0;                   // USBCS bits the CPU writes
    Ep0 m_ep0;
    Ep1 m_ep1;
    std::map<int, BulkEndpoint> m_bulk;
    bool m_nakAll = false;

    std::vector<PinDevice*> m_pinDevices;
    std::map<std::uint8_t, std::uint8_t> m_latch;  // port SFR: the cell as last seen
    std::map<std::uint8_t, bool> m_driven;         // pin: the level a chip drives on it
    std::map<std::uint8_t, std::uint8_t> m_oe;     // port SFR: its output-enable SFR
};
