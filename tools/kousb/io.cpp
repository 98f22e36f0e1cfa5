// SPDX-License-Identifier: MIT
// read and write: a few bytes through one IO mode, as the "IO Tests" page
// moves them, with the page's text codec for the bytes.
#include "batch.h"
#include "commands.h"

#include "iomode.h"
#include "iovalues.h"

#include <iostream>

namespace cli {

namespace {

IoMode modeArgument(const std::string& text)
{
    // The window's modes but the EEPROM's expert entry, which moves no data
    // (dump-eeprom and flash-eeprom do that).
    const std::optional<IoMode> mode = ioModeFromAnyCase(text);
    if (mode && ioModeCanWrite(*mode))
        return *mode;
    std::string names;
    for (IoMode m : kIoModes)
        if (ioModeCanWrite(m))
            names += std::string(names.empty() ? "" : ", ") + ioModeName(m);
    throw UsageError{"unknown mode '" + text + "'; the modes are " + names};
}

// The address a mode takes, checked against the addresses its board takes
// (the page would cut it; a script gets told instead); 0 when none is given.
// Modes without an address refuse --addr.
int addressArgument(const Arguments& arguments, IoMode mode)
{
    const std::optional<std::string> text = arguments.value("--addr");
    const std::optional<AddressRange> range = ioModeAddressRange(mode);
    if (text && !range)
        throw UsageError{std::string("the ") + ioModeName(mode) + " mode takes no address"};
    return text ? static_cast<int>(integerArgument("--addr", *text, range->min, range->max)) : 0;
}

iovalues::Base baseOf(const Arguments& arguments)
{
    return arguments.flag("--hex") ? iovalues::Base::Hex : iovalues::Base::Decimal;
}

}  // namespace

int readCommand(const Args& args)
{
    const Arguments arguments(args, {"--addr", "--size"}, {"--hex", "--all", "--json"}, {"--board"});
    arguments.expectPositional(1, 1, "MODE");
    const IoMode mode = modeArgument(arguments.positional()[0]);
    if (!ioModeCanRead(mode))
        throw UsageError{std::string("the ") + ioModeName(mode) + " mode cannot read"};
    const int address = addressArgument(arguments, mode);
    const int size = arguments.value("--size") ? static_cast<int>(integerArgument(
                         "--size", *arguments.value("--size"), 0, static_cast<long long>(iovalues::kMaxBytes)))
                                               : 1;
    const iovalues::Base base = baseOf(arguments);
    return runOnBoards(chooseTargets(arguments), arguments.flag("--json"), [&](const BoardJob& job) {
        unsigned char buffer[iovalues::kMaxBytes] = {};
        if (!ioRead(job.device, mode, address, buffer, size).value_or(false))
            failed(job.device, std::string(ioModeName(mode)) + " read");
        const std::string bytes = iovalues::formatBytes(buffer, static_cast<std::size_t>(size), base);
        return BoardResult{bytes + "\n", bytes.substr(0, bytes.find_last_not_of(' ') + 1)};
    });
}

int writeCommand(const Args& args)
{
    const Arguments arguments(args, {"--addr"}, {"--hex", "--all", "--json"}, {"--board"});
    arguments.expectPositional(2, 1 + iovalues::kMaxBytes, "MODE and at least one VALUE");
    const IoMode mode = modeArgument(arguments.positional()[0]);
    const int address = addressArgument(arguments, mode);
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
    return runOnBoards(chooseTargets(arguments), arguments.flag("--json"), [&](const BoardJob& job) {
        // Each board gets its own copy: a board call may change the buffer it is given.
        iovalues::Transmit bytes = tx;
        if (!ioWrite(job.device, mode, address, bytes.bytes.data(), bytes.count).value_or(false))
            failed(job.device, std::string(ioModeName(mode)) + " write");
        return BoardResult{"", "wrote " + std::to_string(bytes.count) + (bytes.count == 1 ? " byte" : " bytes")};
    });
}

}  // namespace cli
