// read and write: a few bytes through one IO mode, as the "IO Tests" page
// moves them, with the page's text codec for the bytes.
#include "commands.h"

#include "iomode.h"
#include "iovalues.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <iostream>

namespace cli {

namespace {

// The window's modes, the EEPROM's expert entry aside: it moves no data
// (dump-eeprom and flash-eeprom do that).
constexpr std::array<IoMode, 9> kModes = {IoMode::External, IoMode::Fpga,      IoMode::Block,
                                          IoMode::I2c,      IoMode::Command,   IoMode::Controller,
                                          IoMode::Interrupt, IoMode::Spi,      IoMode::Uart};

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

IoMode modeArgument(const std::string& text)
{
    std::string names;
    for (IoMode mode : kModes) {
        if (lowerCase(ioModeName(mode)) == lowerCase(text))
            return mode;
        names += std::string(names.empty() ? "" : ", ") + ioModeName(mode);
    }
    throw UsageError{"unknown mode '" + text + "'; the modes are " + names};
}

// The address a mode takes, checked against its width (the page would cut
// it; a script gets told instead). Modes without an address refuse --addr.
struct Address {
    int value = 0;
    bool given = false;
};

Address addressArgument(const Arguments& arguments, IoMode mode)
{
    const std::optional<std::string> text = arguments.value("--addr");
    long long max = 0;
    long long min = 0;
    switch (mode) {
    case IoMode::External:
    case IoMode::Fpga:
    case IoMode::Controller: max = 0xFFFF; break;
    case IoMode::I2c: max = 0xFF; break;
    case IoMode::Spi: min = INT_MIN; max = INT_MAX; break;
    default:
        if (text)
            throw UsageError{std::string("the ") + ioModeName(mode) + " mode takes no address"};
        return {};
    }
    if (!text)
        return {};
    return {static_cast<int>(integerArgument("--addr", *text, min, max)), true};
}

iovalues::Base baseOf(const Arguments& arguments)
{
    return arguments.flag("--hex") ? iovalues::Base::Hex : iovalues::Base::Decimal;
}

} // namespace

int readCommand(const Args& args)
{
    const Arguments arguments(args, {"--board", "--addr", "--size"}, {"--hex"});
    arguments.expectPositional(1, 1, "MODE");
    const IoMode mode = modeArgument(arguments.positional()[0]);
    if (mode == IoMode::Command)
        throw UsageError{"the Command mode cannot read"};
    const Address address = addressArgument(arguments, mode);
    const int size = arguments.value("--size") ? static_cast<int>(integerArgument(
                         "--size", *arguments.value("--size"), 0, static_cast<long long>(iovalues::kMaxBytes)))
                                               : 1;
    auto device = chooseBoard(boardOption(arguments));

    const auto address16 = static_cast<unsigned short>(address.value);
    const auto address8 = static_cast<unsigned char>(address.value);
    const auto size16 = static_cast<unsigned short>(size);
    unsigned char buffer[iovalues::kMaxBytes] = {};
    bool ok = false;
    switch (mode) {
    case IoMode::External: ok = device->ReadExternal(address16, buffer, size); break;
    case IoMode::Fpga: ok = device->ReadXilinx(address16, buffer, size); break;
    case IoMode::Block: ok = device->ReadBlock(buffer, size); break;
    case IoMode::I2c: ok = device->ReadI2C(address8, buffer, size16); break;
    case IoMode::Controller: ok = device->Read8051(address16, buffer, size16); break;
    case IoMode::Interrupt: ok = device->ReadInterrupt(buffer); break;
    case IoMode::Spi: ok = device->ReadSPI(address.value, buffer, size16); break;
    case IoMode::Uart: ok = device->ReadSerial(buffer, size16); break;
    case IoMode::Command:
    case IoMode::Eeprom: break;
    }
    if (!ok)
        failed(*device, std::string(ioModeName(mode)) + " read");
    std::cout << iovalues::formatBytes(buffer, static_cast<std::size_t>(size), baseOf(arguments)) << "\n";
    return kExitOk;
}

int writeCommand(const Args& args)
{
    const Arguments arguments(args, {"--board", "--addr"}, {"--hex"});
    arguments.expectPositional(2, 1 + iovalues::kMaxBytes, "MODE and at least one VALUE");
    const IoMode mode = modeArgument(arguments.positional()[0]);
    const Address address = addressArgument(arguments, mode);
    const iovalues::Base base = baseOf(arguments);

    // Each VALUE must be one whole value to the page's reader: followed by
    // another value it reads as two, which "12abc" or "0x" do not.
    std::string text;
    for (std::size_t i = 1; i < arguments.positional().size(); ++i) {
        const std::string& value = arguments.positional()[i];
        if (iovalues::readValues(value + " 0", base).size() != 2)
            throw UsageError{"'" + value + "' is not a " + (base == iovalues::Base::Hex ? "hexadecimal" : "decimal")
                             + " value"};
        text += value + " ";
    }
    iovalues::Transmit tx = iovalues::transmitBuffer(text, base);
    auto device = chooseBoard(boardOption(arguments));

    const auto address16 = static_cast<unsigned short>(address.value);
    const auto address8 = static_cast<unsigned char>(address.value);
    const auto count16 = static_cast<unsigned short>(tx.count);
    unsigned char* buffer = tx.bytes.data();
    bool ok = false;
    switch (mode) {
    case IoMode::External: ok = device->WriteExternal(address16, buffer, tx.count); break;
    case IoMode::Fpga: ok = device->WriteXilinx(address16, buffer, tx.count); break;
    case IoMode::Block: ok = device->WriteBlock(buffer, tx.count); break;
    case IoMode::I2c: ok = device->WriteI2C(address8, buffer, count16); break;
    case IoMode::Command: ok = device->WriteCommand(buffer, count16); break;
    case IoMode::Controller: ok = device->Write8051(address16, buffer, count16); break;
    case IoMode::Interrupt: ok = device->WriteInterrupt(buffer); break;
    case IoMode::Spi: ok = device->WriteSPI(address.value, buffer, count16); break;
    case IoMode::Uart: ok = device->WriteSerial(buffer, count16); break;
    case IoMode::Eeprom: break;
    }
    if (!ok)
        failed(*device, std::string(ioModeName(mode)) + " write");
    return kExitOk;
}

} // namespace cli
