// SPDX-License-Identifier: MIT
// Writes the sample files a new user can load at once, into the folder given:
//   demo-fpga.bit           an FPGA configuration for the demo boards' part
//   example-identity.hex    an EEPROM image of the identity block alone
//   example-controller.bix  a small controller program
// Each is made with the board library's own definitions, so a simulated
// board takes it as it is.
#include "eepromlayout.h"
#include "formats/intelhex.h"

#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void appendBigEndian(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A .bit text field: its key, a 2-byte length, the text and its NUL.
void appendBitField(Bytes& out, char key, const std::string& text)
{
    out.push_back(static_cast<std::uint8_t>(key));
    appendBigEndian(out, text.size() + 1, 2);
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

// The demo boards carry an XC3S500E. The bitstream is the start of a real
// one: a dummy word, the sync word, then no-op commands; it configures nothing
// but is long enough for the configuration to take a moment.
Bytes fpgaConfiguration()
{
    Bytes file = {0x00, 0x09, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x00, 0x00, 0x01};
    appendBitField(file, 'a', "udm_example.ncd;UserID=0xFFFFFFFF");
    appendBitField(file, 'b', "3s500efg320");
    appendBitField(file, 'c', "2026/01/01");
    appendBitField(file, 'd', "12:00:00");
    Bytes stream = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66};
    while (stream.size() < 16 * 1024)
        appendBigEndian(stream, 0x20000000, 4);  // type 1 no-op
    file.push_back('e');
    appendBigEndian(file, stream.size(), 4);
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

// The identity block of an EEPROM, and nothing else: flashing it gives a board
// a new ID, name and class and leaves the rest of its EEPROM (the boot
// firmware of a real board) alone.
std::string eepromIdentity()
{
    Bytes image(kousb::eeprom::kSize, kousb::eeprom::kErased);
    kousb::eeprom::writeId(image, 4242);
    kousb::eeprom::writeName(image, "Example board");
    kousb::eeprom::writeClass(image, 7);
    kousb::eeprom::writeFirmwareVersion(image, 5);
    return kousb::formats::formatIntelHex(image.data() + kousb::eeprom::kIdentityOffset,
                                          kousb::eeprom::kIdentityBlockSize, kousb::eeprom::kIdentityOffset);
}

// 8051 code from address 0: jump over a readable text to an endless loop.
// The text shows in the IO tests' Controller mode from address 3.
Bytes controllerProgram()
{
    const std::string text = "USB Device Manager example";
    const std::size_t loop = 3 + text.size() + 1;
    Bytes image = {0x02, static_cast<std::uint8_t>(loop >> 8), static_cast<std::uint8_t>(loop)};  // LJMP loop
    image.insert(image.end(), text.begin(), text.end());
    image.push_back(0);
    image.insert(image.end(), {0x80, 0xFE});  // loop: SJMP loop
    return image;
}

bool writeFile(const std::string& path, const char* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::cerr << "make-examples: cannot write " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make-examples FOLDER\n";
        return 2;
    }
    const std::string dir = argv[1];
    const Bytes bit = fpgaConfiguration();
    const std::string hex = eepromIdentity();
    const Bytes bix = controllerProgram();
    const bool ok =
        writeFile(dir + "/demo-fpga.bit", reinterpret_cast<const char*>(bit.data()), bit.size())
        && writeFile(dir + "/example-identity.hex", hex.data(), hex.size())
        && writeFile(dir + "/example-controller.bix", reinterpret_cast<const char*>(bix.data()), bix.size());
    return ok ? 0 : 1;
}
