// SPDX-License-Identifier: MIT
// The real-board logic (Fx2Board) against a hostile or broken board: its
// descriptors (any endpoints, any packet sizes), and every answer to every
// transfer (version, identity, FPGA part, error replies, status reports,
// Block packets, the controller's memory) come from the input, of any
// length up to what was asked and any content, or the transfer stalls,
// times out, overflows or finds the board gone; it may come back from a
// firmware start with other descriptors. Every public Board method is
// driven with arguments from the input. Nothing may crash or overrun, and
// a read that fails leaves the caller's buffer as it was.
#include "libusb/fx2board.h"

#include "fuzzinput.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace kousb;
using namespace kousb::usb;

namespace {

using Input = FuzzInput;

// The board: what libusb would hand over from it. Past the end of the
// input the board is silent (every transfer times out).
class HostileTransport : public Transport {
public:
    explicit HostileTransport(Input& in) : m_in(in) { m_description = describe(); }

    DeviceDescription description() const override { return m_description; }

    TransferResult control(std::uint8_t requestType, std::uint8_t, std::uint16_t, std::uint16_t, std::uint8_t* data,
                           std::size_t length, Milliseconds) override
    {
        return answer((requestType & 0x80) != 0, data, length);
    }
    TransferResult bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds) override
    {
        return answer((endpoint & 0x80) != 0, data, length);
    }
    TransferResult interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length, Milliseconds) override
    {
        return answer((endpoint & 0x80) != 0, data, length);
    }
    TransferResult clearHalt(std::uint8_t) override { return answer(false, nullptr, 0); }
    TransferResult awaitReenumeration(Milliseconds, Milliseconds) override
    {
        TransferResult r = answer(false, nullptr, 0);
        if (r.ok())
            m_description = describe();
        return r;
    }

private:
    DeviceDescription describe()
    {
        DeviceDescription d;
        const std::uint8_t kind = m_in.byte();
        d.vendorId = kind & 0x01 ? m_in.word() : 0x04B4;
        d.productId = kind & 0x02 ? m_in.word() : (kind & 0x04 ? 0x8613 : 0x1004);
        d.deviceRelease = m_in.word();
        d.speed = kind & 0x08 ? "full (12 Mbit/s)" : "high (480 Mbit/s)";
        d.configuration = m_in.byte();
        d.portPath.assign(m_in.byte() % 8, 1);
        d.product.assign(m_in.byte() % 40, char(m_in.byte()));
        if (kind & 0x10)
            d.openError = TransferError(m_in.byte() % 8);
        for (int alt = m_in.byte() % 3; alt > 0; --alt) {
            AltSettingDescription a;
            a.alternateSetting = m_in.byte() % 2;
            for (int n = m_in.byte() % 6; n > 0; --n) {
                EndpointDescription e;
                e.address = m_in.byte();
                e.type = EndpointType(m_in.byte() % 4);
                e.maxPacketSize = m_in.word();
                a.endpoints.push_back(e);
            }
            d.altSettings.push_back(a);
        }
        return d;
    }

    TransferResult answer(bool in, std::uint8_t* data, std::size_t length)
    {
        if (m_gone || m_in.empty())
            return {m_gone ? TransferError::NoDevice : TransferError::Timeout, 0, {}};
        const std::uint8_t how = m_in.byte();
        // libusb never reports more bytes than the transfer had room for.
        const std::uint8_t count = m_in.byte();
        const std::size_t n = count == 0xFF ? length : std::min<std::size_t>(count, length);
        if (in)
            for (std::size_t i = 0; i < n; ++i)
                data[i] = m_in.byte();
        switch (how % 10) {
        case 6: return {TransferError::Stall, 0, {}};
        case 7: return {TransferError::Timeout, n, {}};
        case 8: m_gone = true; return {TransferError::NoDevice, 0, {}};
        case 9: return {TransferError(how / 10 % 8), n, "LIBUSB_ERROR_OTHER"};
        default: return {TransferError::None, n, {}};
        }
    }

    Input& m_in;
    DeviceDescription m_description;
    bool m_gone = false;
};

// A read into a buffer with room for `length` bytes and nothing more;
// when it fails, the buffer must hold what it held before.
template <typename Read>
void checkedRead(std::size_t length, Read read)
{
    std::vector<std::uint8_t> buffer(length, 0xA5);
    if (!read(buffer.data()))
        for (std::uint8_t b : buffer)
            if (b != 0xA5)
                std::abort();
}

std::string fixture(const char* name) { return std::string(KOUSB_FUZZ_FIXTURES) + "/" + name; }

void drive(Fx2Board& board, Input& in)
{
    const std::uint8_t op = in.byte();
    const std::uint16_t address = in.word();
    const std::size_t length = in.word() % 5000;
    std::vector<std::uint8_t> out(std::max<std::size_t>(length, 16), in.byte());
    switch (op % 30) {
    case 0: board.identity(); break;
    case 1: board.endpointInfo(); break;
    case 2: checkedRead(length, [&](std::uint8_t* d) { return bool(board.readExternal(address, d, length)); }); break;
    case 3: board.writeExternal(address, out.data(), length); break;
    case 4: checkedRead(length, [&](std::uint8_t* d) { return bool(board.readXilinx(address, d, length)); }); break;
    case 5: board.writeXilinx(address, out.data(), length); break;
    case 6: checkedRead(length, [&](std::uint8_t* d) { return bool(board.read8051(address, d, length)); }); break;
    case 7: {
        // Now and then the CPU let out of reset: the board may come back as another.
        const std::uint16_t at = op & 0x80 ? 0xE600 : address;
        board.write8051(at, out.data(), op & 0x80 ? 1 : length);
        break;
    }
    case 8:
        checkedRead(length, [&](std::uint8_t* d) { return bool(board.readI2C(std::uint8_t(address), d, length)); });
        break;
    case 9: board.writeI2C(std::uint8_t(address), out.data(), length); break;
    case 10:
        checkedRead(length,
                    [&](std::uint8_t* d) { return bool(board.readSPI(std::int32_t(address << 8), d, length)); });
        break;
    case 11: board.writeSPI(std::int32_t(address), out.data(), length); break;
    case 12:
        checkedRead(length, [&](std::uint8_t* d) {
            std::size_t received = 99999;
            const bool ok = bool(board.readSerial(d, length, received));
            if (received > (ok ? length : 0))
                std::abort();
            return ok;
        });
        break;
    case 13: board.writeSerial(out.data(), length); break;
    case 14: board.writeCommand(out.data(), length); break;
    case 15: checkedRead(16, [&](std::uint8_t* d) { return bool(board.readInterrupt(d)); }); break;
    case 16: board.writeInterrupt(out.data()); break;
    case 17: {
        const std::size_t n = op & 0x80 ? 65536 : length;
        checkedRead(n, [&](std::uint8_t* d) { return bool(board.readBlock(d, n)); });
        break;
    }
    case 18: board.writeBlock(out.data(), length); break;
    case 19: board.downloadXilinx(fixture("bitheader/demo.bit")); break;
    case 20: board.loadFirmware(fixture(op & 0x80 ? "intelhex/sdcc.ihx" : "biximage/small.bix")); break;
    case 21: board.loadEepromImage(fixture("intelhex/objcopy.hex")); break;
    case 22: {
        kousb::EepromFlashOptions options;
        options.checkBoot = (op & 0x80) != 0;
        options.progress = [](std::size_t done, std::size_t total) {
            if (done > total)
                std::abort();
        };
        kousb::EepromFlashReport report;
        board.loadEepromImageWithProgress(fixture("intelhex/sdcc.ihx"), options, report);
        break;
    }
    case 23: board.eepromSize(); break;
    case 24: checkedRead(length, [&](std::uint8_t* d) { return bool(board.readEeprom(address, d, length)); }); break;
    case 25: board.writeId(std::int32_t(address << 16 | length)); break;
    case 26: board.writeName(std::string(length % 40, char(out[0]))); break;
    case 27: board.writeClass(out[0]); break;
    default: board.readI2C(std::uint8_t(address), out.data(), 0); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    auto transport = std::make_shared<HostileTransport>(in);
    Fx2Board board(transport, [] {});
    for (int calls = 0; calls < 64 && !in.empty(); ++calls)
        drive(board, in);
    return 0;
}
