#!/usr/bin/env python3
"""Runs the firmware image in s51 (ucsim) and plays the controller's USB and
I2C registers from a command script, since the simulator knows only a plain
8051: it pokes SETUP packets into SETUPDAT, raises SUDAV, feeds EP0 OUT
packets and answers each I2C byte, then reads EP0BUF and EP0CS back.

Checks: the board renumerates after the RAM load; the device descriptor
(04b4:1004) and the serial string go out; the version request is answered
with its six bytes; an unknown
request stalls and the error request then names it; a 1-byte FPGA register
read and a 64-byte EEPROM page write run end to end; Block OUT and IN
packets cost the CPU a hand-over or a commit, not a copy of their bytes. Prints the simulated
machine cycles of each request (s51 counts 12 clock ticks per cycle).

usage: s51bench.py S51 IMAGE.ihx IMAGE.map PROFILE.h PROTOCOL_DEFS.h
(the capabilities the version reply must give are read from the profile)"""
import os
import re
import subprocess
import sys
import tempfile

USBIRQ, EP0BCL, EP0CS, SETUPDAT, EP0BUF, I2CS, I2DAT = 0xE65D, 0xE68B, 0xE6A0, 0xE6B8, 0xE740, 0xE678, 0xE679
EP6BCL = 0xE699
MARK = 0x3FFE  # above the firmware's memory


def setb(address, *values):
    return "set memory xram 0x%04x %s" % (address, " ".join("0x%02x" % v for v in values))


def request(setup):
    """Commands that start one control request and run to the first stop."""
    return [setb(USBIRQ, 0), setb(EP0CS, 0), setb(SETUPDAT, *setup), setb(USBIRQ, 1), "run"]


def profile_capabilities(profile, defs):
    """The profile's capability bits, from its header and the protocol's."""
    bits = dict(re.findall(r"#define (KOUSB_CAP_\w+) (0x[0-9A-Fa-f]+)u", open(defs).read()))
    text = open(profile).read().replace("\\\n", " ")
    names = re.search(r"#define FW_PROFILE_CAPABILITIES\s*\(([^)]*)\)", text).group(1)
    value = 0
    for name in re.findall(r"KOUSB_CAP_\w+", names):
        value |= int(bits[name], 16)
    return value


def main():
    s51, image, mapfile = sys.argv[1], sys.argv[2], sys.argv[3]
    capabilities = profile_capabilities(sys.argv[4], sys.argv[5])
    with open(mapfile) as f:
        done = next(int(m.group(1), 16) for m in (re.search(r"C:\s+([0-9A-Fa-f]+)\s+_ep0_done\b", l) for l in f) if m)

    cmds = [
        'file "%s"' % image,
        "memory create addressdecoder xram 0 0x3fff rom_chip 0",
        "set memory sfr 0xba 0x06",   # EP01STAT: EP1 IN and OUT busy (no interrupt traffic)
        "set memory sfr 0xaa 0x01",   # EP2468STAT: EP2 empty
        setb(0xE659, 0),              # IBNIRQ: the host is not reading EP6
        setb(I2CS, 0),
        setb(0xE680, 0x00),           # USBCS: RENUM clear, as after a RAM load
        "break 0x%04x" % done,
    ]
    marks = {}

    def mark(name):
        # s51 echoes a memory write: that line separates the sections of the output
        marks[name] = len(marks) + 1
        cmds.append(setb(MARK, marks[name]))

    mark("start")  # the first request also runs the start-up
    cmds += request([0xC0, 0xB1, 0, 0, 0, 0, 4, 0])
    mark("version")
    cmds += request([0xC0, 0xB0, 0, 0, 0, 0, 6, 0])
    cmds += ["dump xram 0x%04x 0x%04x" % (EP0BUF, EP0BUF + 5), "dump xram 0x%04x 0x%04x" % (EP0BCL, EP0BCL),
             "dump xram 0x%04x 0x%04x" % (EP0CS, EP0CS)]
    cmds += ["dump xram 0xe680 0xe680"]
    mark("descriptor")
    cmds += request([0x80, 0x06, 0x00, 0x01, 0, 0, 18, 0])
    cmds += ["dump xram 0x%04x 0x%04x" % (EP0BUF, EP0BUF + 17)]
    mark("serial")
    cmds += request([0x80, 0x06, 0x03, 0x03, 0x09, 0x04, 64, 0])
    cmds += ["dump xram 0x%04x 0x%04x" % (EP0BUF, EP0BUF + 5), "dump xram 0x%04x 0x%04x" % (EP0BCL, EP0BCL)]
    mark("unknown")
    cmds += request([0xC0, 0xBF, 0, 0, 0, 0, 4, 0])
    cmds += ["dump xram 0x%04x 0x%04x" % (EP0CS, EP0CS)]
    mark("error")
    cmds += request([0xC0, 0xB1, 0, 0, 0, 0, 4, 0])
    cmds += ["dump xram 0x%04x 0x%04x" % (EP0BUF, EP0BUF + 3), "dump xram 0x%04x 0x%04x" % (EP0CS, EP0CS)]
    mark("register")
    cmds += ["set memory sfr 0x80 0x5b"]  # IOA: DONE (PA6) high, the FPGA is configured
    cmds += request([0xC0, 0xB5, 0x34, 0x12, 0, 0, 1, 0])
    cmds += ["dump xram 0x%04x 0x%04x" % (EP0BUF, EP0BUF), "dump xram 0x%04x 0x%04x" % (EP0CS, EP0CS)]
    mark("eeprom")
    page = [(i * 5 + 1) & 0xFF for i in range(64)]
    cmds += ["break xram w 0x%04x" % EP0BCL]
    cmds += request([0x40, 0xBB, 0x00, 0x01, 0, 0, 64, 0])  # stops when EP0 is armed for OUT data
    cmds += [setb(EP0BUF, *page), setb(EP0BCL, 64), setb(EP0CS, 0), setb(I2CS, 0),
             "break xram w 0x%04x" % I2CS, "break xram w 0x%04x" % I2DAT, "run"]
    # The page write: START, address and two offset bytes, the 64 bytes, STOP;
    # then one acknowledged address poll (START, address, STOP).
    for event in ["start"] + ["byte"] * 67 + ["stop", "start", "byte", "stop"]:
        cmds += [setb(I2CS, 0x03 if event == "byte" else 0x00), "run"]
    cmds += ["dump xram 0x%04x 0x%04x" % (EP0CS, EP0CS)]
    # Block reads: the host polls EP6 (IN-BULK-NAK); the firmware commits
    # packets. The first use of each of the two buffers writes the pattern;
    # after that a packet is only its commit.
    # Block writes of whole packets: each is handed back to the USB side.
    mark("bulk-out")
    cmds += [setb(USBIRQ, 0), "set memory sfr 0xaa 0x00", setb(0xE690, 0x02, 0x00), "break xram w 0xe649", "run", "run"]
    mark("bulk-out-steady")
    cmds += ["run", "run", "set memory sfr 0xaa 0x01"]
    mark("bulk-first")
    cmds += [setb(0xE659, 0x08), "break xram w 0x%04x" % EP6BCL, "run", "run"]
    mark("bulk")
    cmds += ["run", "run"]
    mark("end")
    cmds.append("quit")

    script = "\n".join(cmds) + "\n"
    if "-v" in sys.argv: print(script)
    with tempfile.NamedTemporaryFile("w", suffix=".cmd", delete=False) as f:
        f.write(script)
    try:
        out = subprocess.run(["timeout", "60", s51, "-b", "-t", "8052", "-C", f.name], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    finally:
        os.unlink(f.name)
    text = out.stdout
    sections = re.split(r"^0x3ffe\s+([0-9a-f]{2}) .*$", text, flags=re.M)
    names = {number: name for name, number in marks.items()}
    parts = {names.get(int(n, 16), n): body for n, body in zip(sections[1::2], sections[2::2])}

    def memory(name):
        """The bytes the section's dumps showed, by address (s51 prints 8 a line)."""
        seen = {}
        for a, bs in re.findall(r"^0x([0-9a-f]{4})\s+((?:[0-9a-f]{2} )+)", parts.get(name, ""), flags=re.M):
            for i, b in enumerate(bs.split()):
                seen[int(a, 16) + i] = int(b, 16)
        return seen

    def cycles(name):
        return sum(int(t) for t in re.findall(r"Simulated (\d+) ticks", parts.get(name, ""))) // 12

    failures = []

    def expect(name, address, wanted):
        seen = memory(name)
        got = [seen[address + i] for i in range(len(wanted)) if address + i in seen]
        if got != wanted:
            failures.append("%s: 0x%04x holds %s, expected %s" % (name, address, got, wanted))

    expect("version", EP0BUF, [ord("K"), ord("O"), 1, 0, capabilities & 0xFF, capabilities >> 8])
    expect("version", EP0BCL, [6])
    expect("version", EP0CS, [0x80])
    expect("version", 0xE680, [0x02])  # renumerated: RENUM set, DISCON clear again
    expect("descriptor", EP0BUF, [18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, 0xB4, 0x04, 0x04, 0x10])
    expect("serial", EP0BUF, [22, 3, ord("K"), 0, ord("O"), 0])
    expect("serial", EP0BCL, [22])
    expect("unknown", EP0CS, [0x81])
    expect("error", EP0BUF, [1, 0xBF, 0, 0])
    expect("error", EP0CS, [0x80])
    if capabilities & 0x0002:
        expect("register", EP0BUF, [0x34])  # port B still holds the address's low byte
        expect("register", EP0CS, [0x80])
    else:
        expect("register", EP0CS, [0x81])  # a board without an FPGA refuses it
    expect("eeprom", EP0CS, [0x80])
    packet = cycles("bulk") // 2
    out_packet = cycles("bulk-out-steady") // 2
    if not 0 < out_packet <= 100:
        failures.append("a 512-byte OUT packet costs %d machine cycles: the CPU must not touch its bytes" % out_packet)
    if not 0 < packet <= 100:
        failures.append("a 512-byte IN packet costs %d machine cycles: the CPU must not touch its bytes" % packet)
    if out.returncode != 0:
        failures.append("s51 ended with %d" % out.returncode)
    if failures:
        print(text if "-v" in sys.argv else text[-3000:])
        print("\n".join(failures))
        return 1
    if "-v" in sys.argv:
        print(text)
    print("s51 bench: PASS")
    print("machine cycles per request: version %d, unknown request (stall) %d, error %d, "
          "1-byte FPGA register read (or its refusal) %d, 64-byte EEPROM page write %d"
          % tuple(cycles(n) for n in ("version", "unknown", "error", "register", "eeprom")))
    print("machine cycles per 512-byte Block packet: OUT %d, IN %d (IN, the first use of each buffer: %d)"
          % (out_packet, packet, cycles("bulk-first") // 2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
