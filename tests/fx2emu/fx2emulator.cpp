// SPDX-License-Identifier: MIT
#include "fx2emulator.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

// s51 counts the classic 8052's twelve clock ticks per machine cycle.
constexpr std::uint64_t kTicksPerCycle = 12;
// Instructions per step of the CPU between looks at the budget (at most).
constexpr unsigned kSliceInstructions = 50000;
// The CPU runs on between two transfers of the host: at least this much
// emulated time passes (a couple of microframes), so that the chips' own
// times (an EEPROM's write cycle) pass as they would.
constexpr std::uint64_t kHostGapNs = 250000;
// Emulated time the CPU gets to start, renumerate and come back.
constexpr std::uint64_t kStartBudgetNs = 3000000000ull;

// The on-chip RAM the 0xA0 request reaches (register sheet 1.1 and 4.16).
constexpr std::uint32_t kCodeRamEnd = 0x4000;
constexpr std::uint32_t kDataRamStart = 0xE000, kDataRamEnd = 0xE200;
constexpr std::uint8_t kFirmwareLoad = 0xA0;

ModelReply done(std::size_t n) { return {ModelReply::Done, n}; }
ModelReply stall() { return {ModelReply::Stall, 0}; }
std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

}  // namespace

Fx2Emulator::Fx2Emulator(const Tools& tools, EmulatedBoard::Kind board, Speed speed)
    : m_table(tools.registerTable), m_board(EmulatedBoard::make(board, m_table)), m_speed(speed)
{
    // What the model reads back at a stop: the XDATA registers up to
    // SETUPDAT, the SFRs from the ports up to EP01STAT.
    const Fx2Register& setup = m_table.reg("SETUPDAT");
    m_cpu = std::make_unique<S51Cpu>(tools.s51, tools.shim,
                                     S51Cpu::Range{reg("CPUCS"), std::uint16_t(setup.address + setup.size - 1)},
                                     S51Cpu::Range{reg("IOA"), reg("EP01STAT")}, std::uint8_t(reg("MPAGE")));
    m_i2c = std::make_unique<I2cController>(
        I2cController::Bits{bit("I2CS", "START"), bit("I2CS", "STOP"), bit("I2CS", "LASTRD"), bit("I2CS", "ID1"),
                            bit("I2CS", "BERR"), bit("I2CS", "ACK"), bit("I2CS", "DONE")},
        [this] { return m_nowNs; }, [this](std::uint64_t ns) { m_nowNs += ns; },
        [this](const std::string& what) { fault("I2C: " + what); });
    m_i2c->attach(m_board.eeprom.get());
    m_i2c->attach(m_board.sensor.get());
    m_pinDevices.push_back(m_board.flash.get());
    if (m_board.fpga)
        m_pinDevices.push_back(m_board.fpga.get());
    for (int number : {2, 6})
        m_bulk[number].number = number, m_bulk[number].name = "EP" + std::to_string(number);
    watchAccesses();
    watchPins();
}

Fx2Emulator::~Fx2Emulator() = default;

void Fx2Emulator::watchAccesses()
{
    auto onWrite = [this](const std::string& name, std::function<void(std::uint8_t)> f,
                          const std::string& buffer = {}) {
        m_onWrite[reg(name)] = std::move(f);
        S51Cpu::Range range;
        if (!buffer.empty()) {
            const Fx2Register& b = m_table.reg(buffer);
            range = {b.address, std::uint16_t(b.address + b.size - 1)};
        }
        m_cpu->watchXdata(reg(name), true, range);
    };
    onWrite("CPUCS", [this](std::uint8_t v) {
        const int speed = (v & bit("CPUCS", "CLKSPD1") ? 2 : 0) | (v & bit("CPUCS", "CLKSPD0") ? 1 : 0);
        if (speed == 3)
            fault("CPUCS: the reserved clock setting CLKSPD 11");
        m_clockMhz = speed == 0 ? 12 : speed == 1 ? 24 : 48;
    });
    auto i2cSpeed = [this] { m_i2c->setFast(xdata("I2CTL") & bit("I2CTL", "400KHZ")); };
    onWrite("I2CS", [this, i2cSpeed](std::uint8_t v) {
        i2cSpeed();
        m_i2c->controlWritten(v);
    });
    onWrite("I2DAT", [this, i2cSpeed](std::uint8_t v) {
        i2cSpeed();
        m_i2c->dataWritten(v);
    });
    m_cpu->watchXdata(reg("I2DAT"), false);
    // A byte count written to an endpoint arms, commits or releases a
    // packet: those stops bring the endpoint's buffer along.
    const std::pair<const char*, const char*> usb[] = {
        {"FIFORESET", ""},       {"OUTPKTEND", ""},       {"EP0BCL", "EP0BUF"},
        {"EP1OUTBC", ""},        {"EP1INBC", "EP1INBUF"}, {"EP0CS", ""},
        {"EP1OUTCS", ""},        {"EP1INCS", ""},         {"EP2CS", ""},
        {"EP6CS", ""},           {"USBIRQ", ""},          {"EPIRQ", ""},
        {"IBNIRQ", ""},          {"NAKIRQ", ""},          {"USBCS", ""},
        {"SUSPEND", ""},         {"SUDPTRL", ""},         {"EP2BCL", "EP2FIFOBUF"},
        {"EP6BCL", "EP6FIFOBUF"}};
    for (const auto& [name, buffer] : usb)
        onWrite(
            name, [this, n = std::string(name)](std::uint8_t v) { usbRegisterWritten(n, v); }, buffer);
}

// ---- power, boot ROM, CPU ------------------------------------------------

void Fx2Emulator::resetRegisters()
{
    // The register page as the register summary gives it after power-on;
    // what is not listed here starts at 0, and the flags the silicon
    // decides are presented from the engine's state.
    m_cpu->writeXdata(reg("CPUCS"), std::vector<std::uint8_t>(reg("EP0BUF") - reg("CPUCS"), 0));
    struct Default {
        const char* name;
        std::vector<const char*> bits;
    };
    const Default defaults[] = {
        {"CPUCS", {"CLKOE"}},
        {"IFCONFIG", {"IFCLKSRC"}},
        {"EP1OUTCFG", {"VALID", "TYPE1"}},
        {"EP1INCFG", {"VALID", "TYPE1"}},
        {"EP2CFG", {"VALID", "TYPE1", "BUF1"}},
        {"EP4CFG", {"VALID", "TYPE1"}},
        {"EP6CFG", {"VALID", "DIR", "TYPE1", "BUF1"}},
        {"EP8CFG", {"VALID", "DIR", "TYPE1"}},
        {"EP2FIFOCFG", {"ZEROLENIN", "WORDWIDE"}},
        {"EP4FIFOCFG", {"ZEROLENIN", "WORDWIDE"}},
        {"EP6FIFOCFG", {"ZEROLENIN", "WORDWIDE"}},
        {"EP8FIFOCFG", {"ZEROLENIN", "WORDWIDE"}},
        {"WAKEUPCS", {"DPEN", "WUEN"}},
        {"SUDPTRCTL", {"SDPAUTO"}},
    };
    for (const Default& d : defaults) {
        std::uint8_t value = 0;
        for (const char* b : d.bits)
            value |= bit(d.name, b);
        setXdata(d.name, value);
    }
    m_clockMhz = 12;
    m_irq.clear();
    m_ep0 = Ep0{};
    m_ep1 = Ep1{};
    for (auto& [number, ep] : m_bulk)
        resetFifo(ep);
}

void Fx2Emulator::powerOn()
{
    m_powered = true;
    m_cpuReset = true;
    m_cpuStarted = false;
    m_usbcs = 0;
    resetRegisters();
    bootFromEeprom();
    present();
}

// The boot ROM looks for an EEPROM at 0x51 (two address bytes): 0xC0 at
// its start gives the default device's IDs, 0xC2 a firmware to load, whose
// last record writes CPUCS and starts the CPU (register sheet 4.16).
void Fx2Emulator::bootFromEeprom()
{
    if (!m_board.eeprom)
        return;
    m_i2c->setBootEepromFound(true);
    const std::vector<std::uint8_t>& e = m_board.eeprom->memory;
    if (e[0] == 0xC0) {
        m_bootIds[0] = le16(&e[1]);
        m_bootIds[1] = le16(&e[3]);
        m_bootIds[2] = le16(&e[5]);
        return;
    }
    if (e[0] != 0xC2)
        return;
    bool start = false;
    for (std::size_t at = 8;;) {
        if (at + 4 > e.size()) {
            fault("boot EEPROM: the C2 records run past its end");
            return;
        }
        const bool lastRecord = e[at] & 0x80;
        const std::size_t length = std::size_t((e[at] & 0x03) << 8 | e[at + 1]);
        const std::uint32_t address = std::uint32_t(e[at + 2] << 8 | e[at + 3]);
        at += 4;
        if (at + length > e.size()) {
            fault("boot EEPROM: a C2 record runs past its end");
            return;
        }
        const std::vector<std::uint8_t> bytes(e.begin() + long(at), e.begin() + long(at + length));
        if (address == reg("CPUCS") && length == 1)
            start = !(bytes[0] & bit("CPUCS", "8051RES"));
        else if (address + length <= kCodeRamEnd || (address >= kDataRamStart && address + length <= kDataRamEnd))
            m_cpu->writeXdata(std::uint16_t(address), bytes);
        else
            fault("boot EEPROM: a C2 record for " + hexNumber(address) + ", outside the internal RAM");
        at += length;
        if (lastRecord)
            break;
    }
    m_usbcs = bit("USBCS", "RENUM");  // the loaded firmware answers EP0
    if (e[7] & 0x40)
        m_usbcs |= bit("USBCS", "DISCON");  // configuration byte: stay off the bus
    if (start) {
        m_cpuReset = false;
        startCpu();
    }
}

void Fx2Emulator::startCpu()
{
    m_cpu->reset();
    m_cpuStarted = true;
    m_suspended = false;
    m_cpu->writeSfr(std::uint8_t(reg("MPAGE")), 0);
    for (const char* oe : {"OEA", "OEB", "OED"})
        m_cpu->writeSfr(std::uint8_t(reg(oe)), 0);
    for (const char* io : {"IOA", "IOB", "IOD"})
        m_latch[std::uint8_t(reg(io))] = m_cpu->sfr(std::uint8_t(reg(io)));
    m_driven.clear();
    for (PinDevice* d : m_pinDevices)
        d->powerOn(*this);
    applyDrives();
    present();
}

bool Fx2Emulator::renumerated() const { return m_usbcs & bit("USBCS", "RENUM"); }

bool Fx2Emulator::cpuCanRun() const { return m_cpuStarted && !m_cpuReset && !m_suspended; }

bool Fx2Emulator::runUntil(const std::function<bool()>& until, std::uint64_t budgetNs)
{
    const std::uint64_t deadline = m_nowNs + budgetNs;
    while (!until()) {
        if (!cpuCanRun() || m_nowNs >= deadline)
            return false;
        present();
        // An instruction takes at least one machine cycle of four clocks.
        const std::uint64_t left = (deadline - m_nowNs) * m_clockMhz / 4000 + 1;
        const S51Stop stop = m_cpu->step(unsigned(std::min<std::uint64_t>(left, kSliceInstructions)));
        const std::uint64_t cycles = stop.ticks / kTicksPerCycle;
        m_cycles += cycles;
        m_nowNs += cycles * 4000 / m_clockMhz;
        for (const S51Access& a : stop.accesses)
            handle(a);
    }
    present();
    return true;
}

void Fx2Emulator::hostGap()
{
    m_suspended = false;  // bus traffic resumes a suspended controller
    if (!runUntil([] { return false; }, kHostGapNs) && !cpuCanRun())
        m_nowNs += kHostGapNs;  // time passes all the same
}

void Fx2Emulator::handle(const S51Access& a)
{
    if (a.space == "xram") {
        if (!a.write) {
            if (a.address == reg("I2DAT")) {
                m_i2c->setFast(xdata("I2CTL") & bit("I2CTL", "400KHZ"));
                m_i2c->dataRead();
            }
            return;
        }
        auto it = m_onWrite.find(std::uint16_t(a.address));
        if (it != m_onWrite.end())
            it->second(m_cpu->xdata(std::uint16_t(a.address)));
    } else if (a.space == "sfr" && a.address == reg("SBUF0")) {
        uartSent();
    } else {
        portWritten(a);
    }
}

void Fx2Emulator::fault(const std::string& what)
{
    if (std::find(m_faults.begin(), m_faults.end(), what) == m_faults.end())
        m_faults.push_back(what);
}

void Fx2Emulator::present()
{
    std::map<std::uint16_t, std::uint8_t> regs;
    presentUsb(regs);
    regs[reg("I2CS")] = m_i2c->control();
    regs[reg("I2DAT")] = m_i2c->data();
    for (const auto& [address, value] : regs) {
        if (address < 0x100) {  // an SFR
            if (m_cpu->sfr(std::uint8_t(address)) != value)
                m_cpu->writeSfr(std::uint8_t(address), value);
        } else if (m_cpu->xdata(address) != value) {
            m_cpu->writeXdata(address, {value});
        }
    }
}

// ---- the device model ----------------------------------------------------

void Fx2Emulator::attach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        if (!m_powered)
            powerOn();
        busReset();
        present();
    } catch (const std::exception& e) {
        fault(std::string("emulator: ") + e.what());
    }
}

ModelReply Fx2Emulator::control(const std::uint8_t* setup, std::uint8_t* data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        if (!m_powered || (m_usbcs & bit("USBCS", "DISCON")))
            return {ModelReply::Nak, 0};
        hostGap();
        const std::uint64_t start = m_cycles;
        ModelReply reply;
        if ((setup[0] & 0x60) == 0x40 && setup[1] == kFirmwareLoad)
            reply = firmwareLoad(setup, data);  // the core answers it whatever runs
        else if (!renumerated())
            reply = bootRom(setup, data);
        else if (!cpuCanRun())
            reply = {ModelReply::Nak, 0};
        else
            reply = firmwareControl(setup, data);
        m_lastCycles = m_cycles - start;
        return reply;
    } catch (const std::exception& e) {
        fault(std::string("emulator: ") + e.what());
        return {ModelReply::Nak, 0};
    }
}

ModelReply Fx2Emulator::firmwareLoad(const std::uint8_t* setup, std::uint8_t* data)
{
    const bool in = setup[0] & 0x80;
    const std::uint32_t address = le16(setup + 2), length = le16(setup + 6);
    const std::uint8_t reset = bit("CPUCS", "8051RES");
    if (address == reg("CPUCS") && length == 1) {
        if (in) {
            data[0] = m_cpuReset ? reset : 0;
            return done(1);
        }
        const bool hold = data[0] & reset;
        if (m_cpuReset && !hold) {
            // The CPU starts on what the RAM holds; a firmware of ours drops
            // off the bus and comes back as itself.
            m_cpuReset = false;
            startCpu();
            const std::uint8_t discon = bit("USBCS", "DISCON");
            bool left = false;
            runUntil(
                [&] {
                    left = left || (m_usbcs & discon);
                    return left && !(m_usbcs & discon) && renumerated();
                },
                kStartBudgetNs);
            m_released = left && !(m_usbcs & discon);
        }
        m_cpuReset = hold;
        return done(1);
    }
    if (!(address + length <= kCodeRamEnd || (address >= kDataRamStart && address + length <= kDataRamEnd)))
        return stall();
    if (in) {
        const std::vector<std::uint8_t> bytes = m_cpu->readXdata(std::uint16_t(address), length);
        std::copy(bytes.begin(), bytes.end(), data);
    } else {
        m_cpu->writeXdata(std::uint16_t(address), std::vector<std::uint8_t>(data, data + length));
    }
    return done(length);
}

// The default device of the boot ROM: vendor-specific, one configuration
// with one interface and no endpoint besides EP0.
ModelReply Fx2Emulator::bootRom(const std::uint8_t* setup, std::uint8_t* data)
{
    const std::size_t length = le16(setup + 6);
    auto reply = [&](std::vector<std::uint8_t> bytes) {
        const std::size_t n = std::min(length, bytes.size());
        std::copy(bytes.begin(), bytes.begin() + long(n), data);
        return done(n);
    };
    if ((setup[0] & 0x60) != 0)
        return stall();
    switch (setup[1]) {
    case 6:  // GET_DESCRIPTOR
        switch (setup[3]) {
        case 1:
            return reply({18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, std::uint8_t(m_bootIds[0]),
                          std::uint8_t(m_bootIds[0] >> 8), std::uint8_t(m_bootIds[1]), std::uint8_t(m_bootIds[1] >> 8),
                          std::uint8_t(m_bootIds[2]), std::uint8_t(m_bootIds[2] >> 8), 0, 0, 0, 1});
        case 2:
        case 7: return reply({9, setup[3], 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0});
        case 6: return reply({10, 6, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, 1, 0});
        default: return stall();
        }
    case 0: return reply({0, 0});                 // GET_STATUS
    case 8: return reply({m_bootConfiguration});  // GET_CONFIGURATION
    case 9:                                       // SET_CONFIGURATION
        if (setup[2] > 1)
            return stall();
        m_bootConfiguration = setup[2];
        return done(0);
    case 10: return reply({0});  // GET_INTERFACE
    case 1:
    case 3:
    case 5:
    case 11: return done(0);  // features, address, interface
    default: return stall();
    }
}

ModelReply Fx2Emulator::transfer(std::uint8_t endpoint, bool, std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        if (!m_powered || (m_usbcs & bit("USBCS", "DISCON")))
            return {ModelReply::Nak, 0};
        hostGap();
        const std::uint64_t start = m_cycles;
        ModelReply reply{ModelReply::Stall, 0};  // the default device has no such endpoint
        auto bulk = m_bulk.find(endpoint & 0x0F);
        if (renumerated() && (endpoint & 0x0F) == 1)
            reply = interruptEndpoint(endpoint, data, length);
        else if (renumerated() && bulk != m_bulk.end() && bulk->second.in == bool(endpoint & 0x80))
            reply = bulk->second.in ? bulkIn(bulk->second, data, length) : bulkOut(bulk->second, data, length);
        m_lastCycles = m_cycles - start;
        return reply;
    } catch (const std::exception& e) {
        fault(std::string("emulator: ") + e.what());
        return {ModelReply::Nak, 0};
    }
}

bool Fx2Emulator::clearHalt(std::uint8_t endpoint)
{
    // CLEAR_FEATURE(ENDPOINT_HALT) is a standard request the firmware answers.
    const std::uint8_t setup[8] = {0x02, 0x01, 0, 0, endpoint, 0, 0, 0};
    const ModelReply r = control(setup, nullptr);
    return r.outcome != ModelReply::Gone;
}

std::uint16_t Fx2Emulator::productId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return renumerated() && m_firmwarePid ? m_firmwarePid : m_bootIds[1];
}

bool Fx2Emulator::takeRelease()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_released, false);
}

void Fx2Emulator::withBoard(const std::function<void(EmulatedBoard&)>& use)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    use(m_board);
}

std::vector<std::string> Fx2Emulator::takeFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_faults, {});
}

std::uint64_t Fx2Emulator::lastTransferCycles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastCycles;
}

void Fx2Emulator::failI2cByte(std::uint8_t address, int n)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_i2c->failByte(address, n);
}

void Fx2Emulator::abandonControl(const std::uint8_t* setup, const std::uint8_t* data, std::size_t bytes, unsigned ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        hostGap();
        std::vector<std::uint8_t> stage(data, data + bytes);
        stage.resize(std::size_t(setup[6] | setup[7] << 8));
        firmwareControl(setup, stage.data(), bytes);
        runUntil([] { return false; }, std::uint64_t(ms) * 1000000);
    } catch (const std::exception& e) {
        fault(std::string("emulator: ") + e.what());
    }
}

void Fx2Emulator::resetBus()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    busReset();
}

bool Fx2Emulator::suspendBus(unsigned withinMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        raise("USBIRQ", "SUSP");
        return runUntil([this] { return m_suspended; }, std::uint64_t(withinMs) * 1000000);
    } catch (const std::exception& e) {
        fault(std::string("emulator: ") + e.what());
        return false;
    }
}
