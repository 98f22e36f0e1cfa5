// SPDX-License-Identifier: MIT
#pragma once
// The transport to a simulated board: its USB device is the board model of
// firmware/models (the controller with its 0xA0 loader, our firmware core
// once the CPU runs, the chips) in the board's state file, mapped shared by
// every process using the board (sharedboard.h), so that they all see one
// board. What the transport adds to the board is what its place on a bus
// would: each transfer takes the time the timing model gives it
// (simtiming.h), counted from its start, which is when it is made or when
// the transfer before it ends (a Block write of whole packets and the
// zero-length packet that ends it take the write's time together, as the
// model says); the board's lock is held for the transfer, or for a whole
// library call (beginCall/endCall), so that calls from different processes
// interleave whole; and when a call ends, an EEPROM that changed is written
// through to the board file and the change is made known to the other
// processes. The last bytes written in each IO mode are recorded for
// `kousb-sim show`.
//
// A board whose file has gone, or been replugged, is unplugged: every
// transfer fails at once as from a device that has gone.
#include "../libusb/transport.h"
#include "boardfile.h"
#include "sharedboard.h"
#include "simtiming.h"

#include <memory>
#include <optional>
#include <string>

namespace kousb::sim {

class SimTransport : public usb::Transport {
public:
    // `config` is the board file's content as read when the board appeared.
    SimTransport(std::string path, BoardState config);
    ~SimTransport() override;

    const std::string& path() const { return m_path; }
    const BoardState& config() const { return m_config; }
    // Why the board's state cannot be shared (its state file); empty when it can.
    const std::string& openError() const { return m_openError; }
    // True when another process has changed what this board shows since this
    // object last looked; changes made through this object do not count. Any thread.
    bool changedElsewhere() { return m_shared && m_shared->changedElsewhere(); }

    // Holds the board's lock from beginCall to the matching endCall (they
    // nest); the transfers in between need no lock of their own. Called by
    // the one thread that makes the call.
    void beginCall();
    void endCall();
    // The name the firmware image or FPGA design on its way will be known by.
    void nameFirmware(const std::string& name);
    void nameDesign(const std::string& name);

    usb::DeviceDescription description() const override;
    std::string note() const override;
    std::uint64_t changeCount() const override;
    usb::TransferResult control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                std::uint16_t index, std::uint8_t* data, std::size_t length,
                                usb::Milliseconds timeout) override;
    usb::TransferResult bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                             usb::Milliseconds timeout) override;
    usb::TransferResult interrupt(std::uint8_t endpoint, std::uint8_t* data, std::size_t length,
                                  usb::Milliseconds timeout) override;
    usb::TransferResult clearHalt(std::uint8_t endpoint) override;
    // A simulated board comes back at once with its new firmware.
    usb::TransferResult awaitReenumeration(usb::Milliseconds leaveWithin, usb::Milliseconds backWithin) override;

private:
    class Held;
    bool pluggedLocked() const;
    // Why no transfer can be made (the state cannot be shared, or the board
    // has gone); nothing when one can. The caller holds the lock.
    std::optional<usb::TransferResult> unavailable() const;
    // Writes the EEPROM through to the board file (caller holds the lock).
    usb::TransferResult writeThrough();
    void lockBoard() const;
    void unlockBoard() const;
    void record(std::uint8_t request, std::uint8_t endpoint, const std::uint8_t* data, std::size_t length);
    // Waits out the time of a Block write of whole packets, if one is owed.
    void finishWrite() const;

    std::string m_path;
    BoardState m_config;
    std::string m_openError;
    std::unique_ptr<SharedBoard> m_shared;
    // The lock as this object holds it: how deeply, and what the board's
    // change count was when it was taken.
    mutable int m_depth = 0;
    mutable std::unique_ptr<SharedBoard::Lock> m_lock;
    mutable std::uint32_t m_changesAtLock = 0;
    mutable bool m_unflushed = false;  // pages written through since the lock was taken, not yet on disk
    bool m_blockWriteOpen = false;     // the last Block write was of whole packets: a zero-length one ends it
    // When that write's time is up: waited for at its zero-length packet, at
    // the next transfer, or when the lock is let go, whichever comes first.
    mutable timing::Clock::time_point m_writeEnds{};
};

// The state file of a board file: DIR/slot-NN.board -> DIR/powered/slot-NN.state.
// A folder of their own, so that mapping and changing them stirs no watcher
// of the board folder.
constexpr const char* kStateFolder = "powered";
std::string stateFilePath(const std::string& boardFilePath);

}  // namespace kousb::sim
