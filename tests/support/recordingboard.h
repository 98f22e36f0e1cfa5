// SPDX-License-Identifier: MIT
#pragma once
// A test double of a board: records every call with its exact arguments and
// answers as told. Put it in a slot with installRecordingBoard() before the
// first InitUSB of the test process.
#include "board.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct RecordedCall {
    std::string op;                  // the Board method's name, e.g. "writeI2C"
    long long address = -1;          // after the library's cut to the call's width; -1 for none
    std::vector<std::uint8_t> data;  // bytes written (writes only)
    std::size_t length = 0;
    std::string text;     // path or name, where the call takes one
    long long value = 0;  // ID or class, where the call takes one
};

class RecordingBoard : public kousb::Board {
public:
    // Everything the board is asked from here on.
    std::vector<RecordedCall> calls() const;
    void clearCalls();

    // Answer `op` with `status` from now on (ok again with Status::ok()).
    void setResult(const std::string& op, kousb::Status status);
    // Runs `hook` inside the call before it answers (to block a worker, say).
    void setHook(const std::string& op, std::function<void()> hook);
    // Bytes that reads deliver (repeated to the length asked).
    void setReadPattern(std::vector<std::uint8_t> pattern);
    void setIdentity(kousb::BoardIdentity identity);

    kousb::BoardIdentity identity() override;
    std::string endpointInfo() override;
    std::string place() override { return "recording"; }
    kousb::Status readExternal(std::uint16_t a, std::uint8_t* d, std::size_t n) override;
    kousb::Status writeExternal(std::uint16_t a, const std::uint8_t* d, std::size_t n) override;
    kousb::Status readXilinx(std::uint16_t a, std::uint8_t* d, std::size_t n) override;
    kousb::Status writeXilinx(std::uint16_t a, const std::uint8_t* d, std::size_t n) override;
    kousb::Status read8051(std::uint16_t a, std::uint8_t* d, std::size_t n) override;
    kousb::Status write8051(std::uint16_t a, const std::uint8_t* d, std::size_t n) override;
    kousb::Status readI2C(std::uint8_t a, std::uint8_t* d, std::size_t n) override;
    kousb::Status writeI2C(std::uint8_t a, const std::uint8_t* d, std::size_t n) override;
    kousb::Status readSPI(std::int32_t a, std::uint8_t* d, std::size_t n) override;
    kousb::Status writeSPI(std::int32_t a, const std::uint8_t* d, std::size_t n) override;
    kousb::Status readSerial(std::uint8_t* d, std::size_t n, std::size_t& received) override;
    kousb::Status writeSerial(const std::uint8_t* d, std::size_t n) override;
    kousb::Status writeCommand(const std::uint8_t* d, std::size_t n) override;
    kousb::Status readInterrupt(std::uint8_t* report) override;
    kousb::Status writeInterrupt(const std::uint8_t* report) override;
    kousb::Status readBlock(std::uint8_t* d, std::size_t n) override;
    kousb::Status writeBlock(const std::uint8_t* d, std::size_t n) override;
    kousb::Status downloadXilinx(const std::string& path) override;
    kousb::Status loadFirmware(const std::string& path) override;
    kousb::Status loadEepromImage(const std::string& path) override;
    // Recorded as loadEepromImage; no progress, no boot check, no backup, no read-back.
    kousb::Status loadEepromImageWithProgress(const std::string& path, const kousb::EepromFlashOptions& options,
                                              kousb::EepromFlashReport& report) override;
    std::size_t eepromSize() override { return 0; }
    kousb::Status readEeprom(std::size_t offset, std::uint8_t* data, std::size_t length) override;
    kousb::Status writeId(std::int32_t id) override;
    kousb::Status writeName(const std::string& name) override;
    kousb::Status writeClass(std::uint8_t deviceClass) override;

private:
    kousb::Status record(RecordedCall call);
    kousb::Status read(const char* op, long long address, std::uint8_t* d, std::size_t n);
    kousb::Status write(const char* op, long long address, const std::uint8_t* d, std::size_t n);

    mutable std::mutex m_mutex;
    std::vector<RecordedCall> m_calls;
    std::map<std::string, kousb::Status> m_results;
    std::map<std::string, std::function<void()>> m_hooks;
    std::vector<std::uint8_t> m_pattern{0x11, 0x22, 0x33};
    kousb::BoardIdentity m_identity{42, "Recording board", 7, 9};
};

// Puts a new recording board in `slot` of the library's registry (through a
// backend of its own) and returns it. Call before the first InitUSB.
std::shared_ptr<RecordingBoard> installRecordingBoard(int slot = 0);
