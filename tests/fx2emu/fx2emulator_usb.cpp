// SPDX-License-Identifier: MIT
// The USB engine: EP0's control transfers as the firmware sees them, EP1,
// the bulk endpoints' buffers, and the registers that show their state.
#include "fx2emulator.h"

#include <algorithm>

namespace {

// Emulated time the CPU gets to serve one stage of a control transfer, and
// to arm or take one packet of an endpoint, before the host sees a NAK.
constexpr std::uint64_t kStageBudgetNs = 500000000;
constexpr std::uint64_t kPacketBudgetNs = 20000000;
constexpr std::size_t kEp0Packet = 64;

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
const ModelReply kNak{ModelReply::Nak, 0};

int lowestBit(std::uint8_t mask)
{
    int n = 0;
    while (mask && !(mask & (1u << n)))
        ++n;
    return n;
}

}  // namespace

void Fx2Emulator::busReset()
{
    m_bootConfiguration = 0;  // USB 2.0 9.1.1.3: a reset leaves a device unconfigured
    raise("USBIRQ", "URES");
    if (m_speed == Speed::High)
        raise("USBIRQ", "HSGRANT");
    m_ep0 = Ep0{};
}

void Fx2Emulator::checkBusIdle(const char* when)
{
    if (m_i2c->open())
        fault(std::string("I2C: a transaction was left without a STOP ") + when);
}

ModelReply Fx2Emulator::firmwareControl(const std::uint8_t* setup, std::uint8_t* data, std::size_t deliver)
{
    // A SETUP: its bytes in SETUPDAT, SUDAV and SUTOK raised, EP0 back to its
    // first state with the status stage held until the CPU clears HSNAK.
    m_ep0 = Ep0{};
    m_ep0.active = true;
    m_ep0.hsnak = true;
    std::copy(setup, setup + 8, m_ep0.setup);
    m_cpu->writeXdata(reg("SETUPDAT"), std::vector<std::uint8_t>(setup, setup + 8));
    raise("USBIRQ", "SUDAV");
    raise("USBIRQ", "SUTOK");
    const bool in = setup[0] & 0x80;
    const std::size_t length = le16(setup + 6);
    auto stalled = [this] {
        m_ep0.active = false;
        checkBusIdle("after a stalled control transfer");
        return ModelReply{ModelReply::Stall, m_ep0.moved};
    };
    if (in && length) {
        for (;;) {
            if (!runUntil([this] { return m_ep0.stall || m_ep0.inArmed; }, kStageBudgetNs))
                return kNak;
            if (m_ep0.stall)
                return stalled();
            const std::vector<std::uint8_t> packet = std::move(m_ep0.inPacket);
            m_ep0.inPacket.clear();
            m_ep0.inArmed = m_ep0.busy = false;
            raise("EPIRQ", "EP0IN");
            if (m_ep0.moved + packet.size() > length) {
                fault("EP0: the data stage is longer than the host asked for");
                return {ModelReply::Overflow, m_ep0.moved};
            }
            std::copy(packet.begin(), packet.end(), data + m_ep0.moved);
            m_ep0.moved += packet.size();
            if (m_ep0.wholeStage || packet.size() < kEp0Packet || m_ep0.moved == length)
                break;
        }
    } else if (length) {
        while (m_ep0.moved < length) {
            if (m_ep0.moved >= deliver)
                return kNak;  // the host gave up
            if (!runUntil([this] { return m_ep0.stall || m_ep0.outArmed; }, kStageBudgetNs))
                return kNak;
            if (m_ep0.stall)
                return stalled();
            const std::size_t n = std::min(kEp0Packet, length - m_ep0.moved);
            m_cpu->writeXdata(reg("EP0BUF"), std::vector<std::uint8_t>(data + m_ep0.moved, data + m_ep0.moved + n));
            setXdata("EP0BCH", 0);
            setXdata("EP0BCL", std::uint8_t(n));
            m_ep0.outArmed = m_ep0.busy = false;
            m_ep0.moved += n;
            raise("EPIRQ", "EP0OUT");
        }
    }
    if (!runUntil([this] { return m_ep0.stall || !m_ep0.hsnak; }, kStageBudgetNs))
        return kNak;
    if (m_ep0.stall)
        return stalled();
    m_ep0.active = false;
    raise("USBIRQ", "EP0ACK");
    checkBusIdle("at the end of a control transfer");
    if (in && (setup[0] & 0x60) == 0 && setup[1] == 6 && setup[3] == 1 && m_ep0.moved >= 12)
        m_firmwarePid = le16(data + 10);
    return {ModelReply::Done, m_ep0.moved};
}

ModelReply Fx2Emulator::interruptEndpoint(std::uint8_t endpoint, std::uint8_t* data, std::size_t length)
{
    if (endpoint & 0x80) {
        if (!m_ep1.inArmed && !m_ep1.inStall) {
            inBulkNak(1);
            if (!runUntil([this] { return m_ep1.inStall || m_ep1.inArmed; }, kPacketBudgetNs))
                return kNak;
        }
        if (m_ep1.inStall)
            return {ModelReply::Stall, 0};
        const std::vector<std::uint8_t> packet = std::move(m_ep1.inPacket);
        m_ep1.inPacket.clear();
        m_ep1.inArmed = false;
        raise("EPIRQ", "EP1IN");
        checkBusIdle("once an interrupt report was armed");
        if (packet.size() > length)
            return {ModelReply::Overflow, 0};
        std::copy(packet.begin(), packet.end(), data);
        return {ModelReply::Done, packet.size()};
    }
    if (!m_ep1.outArmed && !m_ep1.outStall
        && !runUntil([this] { return m_ep1.outStall || m_ep1.outArmed; }, kPacketBudgetNs))
        return kNak;
    if (m_ep1.outStall)
        return {ModelReply::Stall, 0};
    const std::size_t n = std::min(length, kEp0Packet);
    m_cpu->writeXdata(reg("EP1OUTBUF"), std::vector<std::uint8_t>(data, data + n));
    setXdata("EP1OUTBC", std::uint8_t(n));
    m_ep1.outArmed = false;
    raise("EPIRQ", "EP1OUT");
    return {ModelReply::Done, n};
}

void Fx2Emulator::inBulkNak(int endpoint)
{
    // The host polled an IN endpoint with nothing armed (IN-BULK-NAK).
    raise("IBNIRQ", "EP" + std::to_string(endpoint));
    raise("NAKIRQ", "IBN");
}

ModelReply Fx2Emulator::bulkIn(BulkEndpoint& ep, std::uint8_t* data, std::size_t length)
{
    std::size_t got = 0;
    while (got < length) {
        if (ep.packets.empty() && !ep.stall) {
            inBulkNak(ep.number);
            if (!runUntil([&] { return ep.stall || (!ep.packets.empty() && !m_nakAll); }, kPacketBudgetNs))
                return kNak;
        }
        if (ep.stall)
            return {ModelReply::Stall, got};
        const std::vector<std::uint8_t> packet = std::move(ep.packets.front());
        ep.packets.pop_front();
        raise("EPIRQ", ep.name);
        if (packet.size() > maxPacket() || got + packet.size() > length)
            return {ModelReply::Overflow, got};  // babble, or more than the transfer holds
        std::copy(packet.begin(), packet.end(), data + got);
        got += packet.size();
        if (packet.size() < maxPacket())
            break;  // a short packet ends the transfer
    }
    return {ModelReply::Done, got};
}

ModelReply Fx2Emulator::bulkOut(BulkEndpoint& ep, const std::uint8_t* data, std::size_t length)
{
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(maxPacket(), length - at);
        if (!runUntil([&] { return ep.stall || (ep.packets.size() < ep.buffers.size() && !m_nakAll); },
                      kPacketBudgetNs))
            return kNak;
        if (ep.stall)
            return {ModelReply::Stall, at};
        ep.packets.emplace_back(data + at, data + at + n);
        if (ep.packets.size() == 1)
            showOutPacket(ep);
        raise("EPIRQ", ep.name);
        at += n;
    } while (at < length);
    return {ModelReply::Done, length};
}

// FIFORESET: the endpoint takes the layout its EPxCFG gives now and loses
// its packets. OUT buffers come back in the CPU's hands, unarmed: the
// firmware arms each (OUTPKTEND or EPxBCL), as after power-on.
void Fx2Emulator::resetFifo(BulkEndpoint& ep)
{
    const std::string cfgName = ep.name + "CFG";
    const std::uint8_t cfg = xdata(cfgName);
    ep.in = cfg & bit(cfgName, "DIR");
    const bool b1 = cfg & bit(cfgName, "BUF1"), b0 = cfg & bit(cfgName, "BUF0");
    if (!b1 && b0)
        fault(cfgName + ": the invalid buffering setting 01");
    const std::size_t count = b1 ? (b0 ? 3 : 2) : (b0 ? 2 : 4);
    ep.buffers.assign(count, {});
    ep.packets.clear();
    ep.window = 0;
    if (!ep.in) {
        for (std::size_t i = 0; i < count; ++i)
            ep.packets.emplace_back();
        showOutPacket(ep);
    }
}

void Fx2Emulator::showOutPacket(BulkEndpoint& ep)
{
    const std::size_t n = ep.packets.empty() ? 0 : ep.packets.front().size();
    if (n)
        m_cpu->writeXdata(reg(ep.name + "FIFOBUF"), ep.packets.front());
    setXdata(ep.name + "BCH", std::uint8_t(n >> 8));
    setXdata(ep.name + "BCL", std::uint8_t(n));
}

void Fx2Emulator::releaseOutPacket(BulkEndpoint& ep)
{
    if (ep.packets.empty()) {
        fault(ep.name + ": a buffer handed back to USB while the CPU holds none");
        return;
    }
    ep.packets.pop_front();
    showOutPacket(ep);
}

void Fx2Emulator::commitInPacket(BulkEndpoint& ep, std::uint8_t countLow)
{
    const Fx2Register& window = m_table.reg(ep.name + "FIFOBUF");
    const std::size_t n = std::size_t(xdata(ep.name + "BCH") << 8 | countLow);
    if (ep.packets.size() >= ep.buffers.size()) {
        fault(ep.name + ": a packet committed while every buffer waits for the host");
        return;
    }
    if (n > maxPacket())
        fault(ep.name + ": an IN packet of " + std::to_string(n) + " bytes committed at "
              + (m_speed == Speed::High ? "high" : "full") + " speed, where a packet holds at most "
              + std::to_string(maxPacket()));
    const std::vector<std::uint8_t> contents = m_cpu->stopBytes(window.address, window.size);
    ep.packets.emplace_back(contents.begin(), contents.begin() + long(std::min(n, contents.size())));
    ep.buffers[ep.window] = contents;
    // The CPU now sees the next buffer, with whatever it held before.
    ep.window = (ep.window + 1) % ep.buffers.size();
    const std::vector<std::uint8_t>& next = ep.buffers[ep.window];
    if (!next.empty() && next != contents)
        m_cpu->writeXdata(window.address, next);
}

// SUDPTR: the core sends a descriptor from RAM as the whole data stage:
// the smaller of wLength and its own length (bLength, or wTotalLength for a
// configuration), or with SDPAUTO clear the length in EP0BCH:L.
void Fx2Emulator::autoDescriptor()
{
    const std::uint16_t address = std::uint16_t(xdata("SUDPTRH") << 8 | xdata("SUDPTRL"));
    if (!m_ep0.active || !(m_ep0.setup[0] & 0x80)) {
        fault("SUDPTR: a descriptor sent outside an IN control transfer");
        return;
    }
    if (address & 1)
        fault("SUDPTR: a descriptor at an odd address");
    std::size_t n = le16(m_ep0.setup + 6);
    if (xdata("SUDPTRCTL") & bit("SUDPTRCTL", "SDPAUTO")) {
        const std::vector<std::uint8_t> head = m_cpu->readXdata(address, 4);
        const std::size_t own = head[1] == 2 || head[1] == 7 ? le16(&head[2]) : head[0];
        n = std::min(n, own);
    } else {
        n = std::size_t(xdata("EP0BCH") << 8 | xdata("EP0BCL"));
    }
    m_ep0.inPacket = m_cpu->readXdata(address, n);
    m_ep0.inArmed = m_ep0.busy = m_ep0.wholeStage = true;
}

void Fx2Emulator::usbRegisterWritten(const std::string& name, std::uint8_t v)
{
    auto has = [&](const char* b) { return (v & bit(name, b)) != 0; };
    if (name == "USBIRQ" || name == "EPIRQ" || name == "IBNIRQ" || name == "NAKIRQ") {
        m_irq[name] &= std::uint8_t(~v);  // write 1 to clear
    } else if (name == "EP0CS") {
        m_ep0.stall = has("STALL");
        if (has("HSNAK") && m_ep0.hsnak) {
            m_ep0.hsnak = false;
            if (m_ep0.active && !m_ep0.stall && !(m_ep0.setup[0] & 0x80) && m_ep0.moved < le16(m_ep0.setup + 6))
                fault("EP0: the status stage acknowledged before the OUT data stage was complete");
        }
    } else if (name == "EP0BCL") {
        const std::size_t length = m_ep0.active ? le16(m_ep0.setup + 6) : 0;
        if (!m_ep0.active || !length) {
            fault(m_ep0.active ? "EP0: a data stage armed for a request without one (wLength 0)"
                               : "EP0: armed outside a control transfer");
            m_ep0.busy = true;
            return;
        }
        m_ep0.busy = true;
        if (!(m_ep0.setup[0] & 0x80)) {
            m_ep0.outArmed = true;
            return;
        }
        const std::size_t n = std::size_t(xdata("EP0BCH") << 8 | v);
        if (n > kEp0Packet)
            fault("EP0: an IN packet of " + std::to_string(n) + " bytes (EP0BUF holds 64)");
        m_ep0.inPacket = m_cpu->stopBytes(reg("EP0BUF"), std::min(n, kEp0Packet));
        m_ep0.inArmed = true;
    } else if (name == "EP1OUTBC") {
        m_ep1.outArmed = true;
    } else if (name == "EP1INBC") {
        const std::size_t n = std::min<std::size_t>(v, kEp0Packet);
        m_ep1.inPacket = m_cpu->stopBytes(reg("EP1INBUF"), n);
        m_ep1.inArmed = true;
    } else if (name == "EP1OUTCS") {
        m_ep1.outStall = has("STALL");
    } else if (name == "EP1INCS") {
        m_ep1.inStall = has("STALL");
        if (has("BUSY"))
            m_ep1.inArmed = false;  // writing BUSY disarms: the armed report is dropped
    } else if (name == "USBCS") {
        m_usbcs =
            v & std::uint8_t(bit(name, "DISCON") | bit(name, "NOSYNSOF") | bit(name, "RENUM") | bit(name, "SIGRSUME"));
    } else if (name == "SUSPEND") {
        m_suspended = true;
    } else if (name == "FIFORESET") {
        m_nakAll = has("NAKALL");
        const int number = v & std::uint8_t(bit(name, "EP3") | bit(name, "EP2") | bit(name, "EP1") | bit(name, "EP0"));
        auto it = m_bulk.find(number);
        if (it != m_bulk.end())
            resetFifo(it->second);
    } else if (name == "OUTPKTEND") {
        const int number = v & std::uint8_t(bit(name, "EP3") | bit(name, "EP2") | bit(name, "EP1") | bit(name, "EP0"));
        auto it = m_bulk.find(number);
        if (it == m_bulk.end() || it->second.in)
            fault("OUTPKTEND names EP" + std::to_string(number) + ", not an OUT endpoint");
        else
            releaseOutPacket(it->second);
    } else if (name == "SUDPTRL") {
        autoDescriptor();
    } else {
        for (auto& [number, ep] : m_bulk) {
            if (name == ep.name + "CS") {
                ep.stall = has("STALL");
            } else if (name == ep.name + "BCL") {
                if (ep.in)
                    commitInPacket(ep, v);
                else
                    releaseOutPacket(ep);
            }
        }
    }
}

void Fx2Emulator::presentUsb(std::map<std::uint16_t, std::uint8_t>& regs) const
{
    auto flag = [&](bool on, const char* r, const char* b) { return on ? bit(r, b) : std::uint8_t(0); };
    regs[reg("EP0CS")] =
        flag(m_ep0.hsnak, "EP0CS", "HSNAK") | flag(m_ep0.busy, "EP0CS", "BUSY") | flag(m_ep0.stall, "EP0CS", "STALL");
    regs[reg("EP1OUTCS")] = flag(m_ep1.outArmed, "EP1OUTCS", "BUSY") | flag(m_ep1.outStall, "EP1OUTCS", "STALL");
    regs[reg("EP1INCS")] = flag(m_ep1.inArmed, "EP1INCS", "BUSY") | flag(m_ep1.inStall, "EP1INCS", "STALL");
    regs[reg("EP01STAT")] = flag(m_ep0.busy, "EP01STAT", "EP0BSY") | flag(m_ep1.outArmed, "EP01STAT", "EP1OUTBSY")
                            | flag(m_ep1.inArmed, "EP01STAT", "EP1INBSY");
    std::uint8_t stat = 0;
    for (int number : {2, 4, 6, 8}) {
        const std::string e = "EP" + std::to_string(number);
        auto it = m_bulk.find(number);
        if (it == m_bulk.end()) {
            stat |= bit("EP2468STAT", (e + "E").c_str());  // not emulated: never holds a packet
            continue;
        }
        const BulkEndpoint& ep = it->second;
        const bool empty = ep.packets.empty(), full = ep.packets.size() >= ep.buffers.size();
        stat |= flag(empty, "EP2468STAT", (e + "E").c_str()) | flag(full, "EP2468STAT", (e + "F").c_str());
        const std::string cs = e + "CS";
        regs[reg(cs)] = std::uint8_t(std::min<std::size_t>(ep.packets.size(), 7) << lowestBit(bit(cs, "NPAK0")))
                        | flag(full, cs.c_str(), "FULL") | flag(empty, cs.c_str(), "EMPTY")
                        | flag(ep.stall, cs.c_str(), "STALL");
    }
    regs[reg("EP2468STAT")] = stat;
    for (const char* irq : {"USBIRQ", "EPIRQ", "IBNIRQ", "NAKIRQ"}) {
        auto it = m_irq.find(irq);
        regs[reg(irq)] = it == m_irq.end() ? 0 : it->second;
    }
    regs[reg("USBCS")] = std::uint8_t(m_usbcs | flag(m_speed == Speed::High, "USBCS", "HSM"));
}
