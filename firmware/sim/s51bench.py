#!/usr/bin/env python3
"""Runs the firmware image in s51 (ucsim) and plays the controller's USB and
I2C registers from a command script, since the simulator knows only a plain
8051: it pokes SETUP packets into SETUPDAT, raises SUDAV, clears what the
firmware clears by writing 1, feeds EP0 and EP2 packets, raises the
IN-BULK-NAK flags and answers each I2C byte, then reads the registers and
buffers back. Every register address and bit comes from the controller's
register table (chip/fx2registers.txt), not from the firmware's header.

Checks: the board renumerates after the RAM load; the device descriptor
(04b4:1004) and the serial string go out; the version request is answered
with its six bytes; an unknown request stalls and the error request then
names it; a 1-byte FPGA register read and a 64-byte EEPROM page write run
end to end; the configuration is 0 again after a bus reset; the status
report is built only when the host asks for it (IN-BULK-NAK on EP1) and
tells what is true then; EP6 commits packets when the host polls it
(IN-BULK-NAK on EP6): 512 bytes at high speed, 64 at full speed, where a
64-byte write ended by a zero-length packet comes back; an I2C address probe
(wLength 0) is a START, the address and a STOP, with no read of I2DAT and
no data stage; Block OUT and IN packets cost the CPU a hand-over or a
commit, not a copy of their bytes. Prints the simulated machine cycles of
each request (s51 counts 12 clock ticks per cycle).

usage: s51bench.py S51 IMAGE.ihx IMAGE.map PROFILE.h PROTOCOL_DEFS.h REGISTERS.txt
(the capabilities the version reply must give, and the FPGA's DONE pin, are
read from the profile)"""
import os
import re
import subprocess
import sys
import tempfile

MARK = 0x3FFE  # above the firmware's memory


class Registers:
    """The register table: kind, address, name, size, access, bits b7..b0."""

    def __init__(self, path):
        self.rows = {}
        for line in open(path):
            fields = line.split("#", 1)[0].split()
            if fields:
                bits = fields[5:]
                self.rows[fields[2]] = (fields[0], int(fields[1], 16),
                                        {name: 0x80 >> i for i, name in enumerate(bits) if name != "."})

    def __getitem__(self, name):
        return self.rows[name][1]

    def sfr(self, name):
        return self.rows[name][0] == "sfr"

    def bit(self, register, *names):
        value = 0
        for name in names:
            value |= self.rows[register][2][name]
        return value


def main():
    s51, image, mapfile, profile_path, defs_path, table = sys.argv[1:7]
    R = Registers(table)
    profile = open(profile_path).read().replace("\\\n", " ")
    bits = dict(re.findall(r"#define (KOUSB_CAP_\w+) (0x[0-9A-Fa-f]+)u", open(defs_path).read()))
    names = re.search(r"#define FW_PROFILE_CAPABILITIES\s*\(([^)]*)\)", profile).group(1)
    capabilities = 0
    for name in re.findall(r"KOUSB_CAP_\w+", names):
        capabilities |= int(bits[name], 16)
    done_pin = re.search(r"#define FW_PIN_FPGA_DONE (PA\d)", profile)
    ioa_idle = int(re.search(r"#define FW_IOA_IDLE (0x[0-9A-Fa-f]+)", profile).group(1), 16)
    with open(mapfile) as f:
        done = next(int(m.group(1), 16) for m in (re.search(r"C:\s+([0-9A-Fa-f]+)\s+_ep0_done\b", l) for l in f) if m)

    def poke(register, *values, at=0):
        space = "sfr" if R.sfr(register) else "xram"
        return "set memory %s 0x%04x %s" % (space, R[register] + at, " ".join("0x%02x" % v for v in values))

    def dump(register, length=1):
        space = "sfr" if R.sfr(register) else "xram"
        return "dump %s 0x%04x 0x%04x" % (space, R[register], R[register] + length - 1)

    def write_break(register):
        return "break xram w 0x%04x" % R[register]

    i2c_answer = poke("I2CS", R.bit("I2CS", "ACK", "DONE"))
    sudav = R.bit("USBIRQ", "SUDAV")

    def request(setup):
        """Starts one control request; runs past the firmware's write that
        clears SUDAV (write 1 to clear, played here) to the next stop."""
        return [poke("USBIRQ", 0), poke("EP0CS", 0), poke("SETUPDAT", *setup), poke("USBIRQ", sudav), "run",
                poke("USBIRQ", 0), "run"]

    cmds = [
        'file "%s"' % image,
        "memory create addressdecoder xram 0 0x3fff rom_chip 0",
        poke("EP01STAT", R.bit("EP01STAT", "EP1OUTBSY")),  # no report from the host, none armed for it
        poke("EP2468STAT", R.bit("EP2468STAT", "EP2E")),
        poke("IBNIRQ", 0),                                   # nobody polls an IN endpoint yet
        poke("I2CS", 0),
        poke("USBCS", R.bit("USBCS", "HSM")),                # RENUM clear, as after a RAM load; high speed
        "break 0x%04x" % done,
        write_break("USBIRQ"),
        write_break("EP1INBC"),                              # a status report armed
    ]
    marks = {}

    def mark(name):
        # s51 echoes a memory write: that line separates the sections of the output
        marks[name] = len(marks) + 1
        cmds.append("set memory xram 0x%04x 0x%02x" % (MARK, marks[name]))

    mark("start")  # the first request also runs the start-up
    cmds += request([0xC0, 0xB1, 0, 0, 0, 0, 4, 0])
    mark("version")
    cmds += request([0xC0, 0xB0, 0, 0, 0, 0, 6, 0])
    cmds += [dump("EP0BUF", 6), dump("EP0BCL"), dump("EP0CS"), dump("USBCS")]
    mark("descriptor")
    cmds += request([0x80, 0x06, 0x00, 0x01, 0, 0, 18, 0])
    cmds += [dump("EP0BUF", 18)]
    mark("serial")
    cmds += request([0x80, 0x06, 0x03, 0x03, 0x09, 0x04, 64, 0])
    cmds += [dump("EP0BUF", 6), dump("EP0BCL")]
    mark("unknown")
    cmds += request([0xC0, 0xBF, 0, 0, 0, 0, 4, 0])
    cmds += [dump("EP0CS")]
    mark("error")
    cmds += request([0xC0, 0xB1, 0, 0, 0, 0, 4, 0])
    cmds += [dump("EP0BUF", 4), dump("EP0CS")]
    mark("configured")
    cmds += request([0x00, 0x09, 1, 0, 0, 0, 0, 0])  # SET_CONFIGURATION 1
    cmds += request([0x80, 0x08, 0, 0, 0, 0, 1, 0])  # GET_CONFIGURATION
    cmds += [dump("EP0BUF")]
    mark("register")
    fpga_done = R.bit("IOA", done_pin.group(1)) if done_pin else 0
    cmds += [poke("IOA", ioa_idle | fpga_done)]  # the FPGA is configured
    cmds += request([0xC0, 0xB5, 0x34, 0x12, 0, 0, 1, 0])
    cmds += [dump("EP0BUF"), dump("EP0CS")]
    mark("eeprom")
    page = [(i * 5 + 1) & 0xFF for i in range(64)]
    cmds += [write_break("EP0BCL")]
    cmds += request([0x40, 0xBB, 0x00, 0x01, 0, 0, 64, 0])  # stops when EP0 is armed for OUT data
    cmds += [poke("EP0BUF", *page), poke("EP0BCL", 64), poke("EP0CS", 0), poke("I2CS", 0),
             write_break("I2CS"), write_break("I2DAT"), "run"]
    # The page write: START, address and two offset bytes, the 64 bytes, STOP;
    # then one acknowledged address poll (START, address, STOP).
    for event in ["start"] + ["byte"] * 67 + ["stop", "start", "byte", "stop"]:
        cmds += [i2c_answer if event == "byte" else poke("I2CS", 0), "run"]
    cmds += [dump("EP0CS")]

    # The host polls EP1 IN: the report is built now, with the temperature
    # read from the sensor (START, address, LASTRD, STOP).
    mark("report")
    cmds += [poke("IBNIRQ", R.bit("IBNIRQ", "EP1")), "run", i2c_answer, "run", poke("I2DAT", 25), i2c_answer, "run",
             i2c_answer, "run", i2c_answer, "run"]
    cmds += [dump("EP1INBUF", 16), dump("EP1INBC"),
             poke("IBNIRQ", 0), poke("EP01STAT", R.bit("EP01STAT", "EP1OUTBSY", "EP1INBSY"))]

    # Block writes of whole packets: each is handed back to the USB side.
    mark("bulk-out")
    cmds += [poke("EP2468STAT", 0), poke("EP2BCH", 0x02, 0x00), write_break("OUTPKTEND"), "run", "run"]
    mark("bulk-out-steady")
    cmds += ["run", "run", poke("EP2468STAT", R.bit("EP2468STAT", "EP2E"))]
    # Block reads: the host polls EP6 (IN-BULK-NAK); the firmware commits
    # packets. The first use of each of the two buffers writes the pattern;
    # after that a packet is only its commit.
    mark("bulk-first")
    cmds += [poke("IBNIRQ", R.bit("IBNIRQ", "EP6")), write_break("EP6BCL"), "run", "run"]
    mark("bulk")
    cmds += ["run", "run", dump("EP6BCH", 2)]

    # A bus reset to full speed: the board is unconfigured, bulk_init runs
    # again (two OUT buffers armed), and packets are 64 bytes. A write of one
    # full packet, ended by a zero-length packet, comes back in the next IN
    # packet; the one after it is the pattern.
    mark("full-speed")
    written = [(i * 7 + 3) & 0xFF for i in range(64)]
    cmds += [poke("EP2468STAT", R.bit("EP2468STAT", "EP2E", "EP6F")), poke("IBNIRQ", 0),
             poke("USBCS", R.bit("USBCS", "RENUM")), poke("USBIRQ", R.bit("USBIRQ", "URES")), "run",
             poke("USBIRQ", 0), "run", "run",
             poke("EP2FIFOBUF", *written), poke("EP2BCH", 0, 64), poke("EP2468STAT", R.bit("EP2468STAT", "EP6F")),
             "run", poke("EP2BCH", 0, 0), "run",
             poke("EP2468STAT", R.bit("EP2468STAT", "EP2E")), poke("IBNIRQ", R.bit("IBNIRQ", "EP6")), "run"]
    cmds += [dump("EP6BCH", 2), dump("EP6FIFOBUF", 64), "run"]
    mark("full-speed-pattern")
    cmds += [dump("EP6FIFOBUF", 64),
             poke("EP2468STAT", R.bit("EP2468STAT", "EP2E", "EP6F")), poke("IBNIRQ", 0)]
    cmds += request([0x80, 0x08, 0, 0, 0, 0, 1, 0]) + ["run"]  # GET_CONFIGURATION, past its EP0BCL write
    cmds += [dump("EP0BUF")]

    # An I2C address probe: START, the address, STOP and the status stage;
    # any read of I2DAT now would start a read burst on an idle bus.
    mark("probe")
    cmds += ["break xram r 0x%04x" % R["I2DAT"]]
    cmds += request([0xC0, 0xB6, 0x48, 0, 0, 0, 0, 0])
    cmds += [i2c_answer, "run", i2c_answer, "run", poke("I2CS", 0), "run", dump("EP0CS")]
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
    numbers = {number: name for name, number in marks.items()}
    parts = {numbers.get(int(n, 16), n): body for n, body in zip(sections[1::2], sections[2::2])}

    def memory(name):
        """The bytes the section's dumps showed, by address (s51 prints 8 a line)."""
        seen = {}
        for a, bs in re.findall(r"^0x([0-9a-f]{4})\s+((?:[0-9a-f]{2} )+)", parts.get(name, ""), flags=re.M):
            for i, b in enumerate(bs.split()):
                seen[int(a, 16) + i] = int(b, 16)
        return seen

    def cycles(name):
        return sum(int(t) for t in re.findall(r"Simulated (\d+) ticks", parts.get(name, ""))) // 12

    def events(name, register, kind="write"):
        return len(re.findall(r"Event `%s' at xram\[0x%04x\]" % (kind, R[register]), parts.get(name, "")))

    failures = []

    def expect(name, register, wanted):
        seen = memory(name)
        address = R[register]
        got = [seen[address + i] for i in range(len(wanted)) if address + i in seen]
        if got != wanted:
            failures.append("%s: %s holds %s, expected %s" % (name, register, got, wanted))

    hsnak = R.bit("EP0CS", "HSNAK")
    stalled = R.bit("EP0CS", "HSNAK", "STALL")
    expect("version", "EP0BUF", [ord("K"), ord("O"), 1, 0, capabilities & 0xFF, capabilities >> 8])
    expect("version", "EP0BCL", [6])
    expect("version", "EP0CS", [hsnak])
    expect("version", "USBCS", [R.bit("USBCS", "HSM", "RENUM")])  # renumerated: DISCON clear again
    expect("descriptor", "EP0BUF", [18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, 0xB4, 0x04, 0x04, 0x10])
    expect("serial", "EP0BUF", [22, 3, ord("K"), 0, ord("O"), 0])
    expect("serial", "EP0BCL", [22])
    expect("unknown", "EP0CS", [stalled])
    expect("error", "EP0BUF", [1, 0xBF, 0, 0])
    expect("error", "EP0CS", [hsnak])
    expect("configured", "EP0BUF", [1])
    if capabilities & 0x0002:
        expect("register", "EP0BUF", [0x34])  # port B still holds the address's low byte
        expect("register", "EP0CS", [hsnak])
    else:
        expect("register", "EP0CS", [stalled])  # a board without an FPGA refuses it
    expect("eeprom", "EP0CS", [hsnak])
    # Until the host polled EP1, no report was armed; then one, fresh: the
    # FPGA's DONE pin as it is now, the sensor's 25 degrees, sequence 1.
    early = sum(events(name, "EP1INBC") for name in marks if marks[name] < marks["report"])
    if early:
        failures.append("a status report was armed before the host asked for one")
    expect("report", "EP1INBUF", [1, 0x02 | (0x01 if fpga_done else 0), 0, 0, 25, 0, 1, 0] + [0] * 8)
    expect("report", "EP1INBC", [16])
    expect("bulk", "EP6BCH", [0x02, 0x00])
    expect("full-speed", "EP6BCH", [0x00, 64])
    expect("full-speed", "EP6FIFOBUF", written)
    expect("full-speed-pattern", "EP6FIFOBUF", list(range(64)))
    expect("full-speed-pattern", "EP0BUF", [0])
    if events("probe", "I2DAT", "read") or events("probe", "EP0BCL"):
        failures.append("the address probe read I2DAT or armed a data stage")
    expect("probe", "EP0CS", [hsnak])
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
          "1-byte FPGA register read (or its refusal) %d, 64-byte EEPROM page write %d, status report %d"
          % tuple(cycles(n) for n in ("version", "unknown", "error", "register", "eeprom", "report")))
    print("machine cycles per 512-byte Block packet: OUT %d, IN %d (IN, the first use of each buffer: %d)"
          % (out_packet, packet, cycles("bulk-first") // 2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
