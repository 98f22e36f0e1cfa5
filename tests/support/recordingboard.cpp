// SPDX-License-Identifier: MIT
#include "recordingboard.h"

#include "backend.h"
#include "library.h"
#include "registry.h"

using kousb::Status;

std::vector<RecordedCall> RecordingBoard::calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

void RecordingBoard::clearCalls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

void RecordingBoard::setResult(const std::string& op, Status status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_results[op] = std::move(status);
}

void RecordingBoard::setHook(const std::string& op, std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hooks[op] = std::move(hook);
}

void RecordingBoard::setReadPattern(std::vector<std::uint8_t> pattern)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pattern = std::move(pattern);
}

void RecordingBoard::setIdentity(kousb::BoardIdentity identity)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_identity = std::move(identity);
}

kousb::BoardIdentity RecordingBoard::identity()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_identity;
}

std::string RecordingBoard::endpointInfo() { return "Recording test board"; }

Status RecordingBoard::record(RecordedCall call)
{
    std::function<void()> hook;
    Status result;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto h = m_hooks.find(call.op);
        if (h != m_hooks.end())
            hook = h->second;
        auto r = m_results.find(call.op);
        if (r != m_results.end())
            result = r->second;
        m_calls.push_back(std::move(call));
    }
    if (hook)
        hook();
    return result;
}

Status RecordingBoard::read(const char* op, long long address, std::uint8_t* d, std::size_t n)
{
    RecordedCall call{op, address, {}, n, {}, 0};
    Status s = record(call);
    if (s) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (std::size_t i = 0; i < n && !m_pattern.empty(); ++i)
            d[i] = m_pattern[i % m_pattern.size()];
    }
    return s;
}

Status RecordingBoard::write(const char* op, long long address, const std::uint8_t* d, std::size_t n)
{
    return record(RecordedCall{op, address, std::vector<std::uint8_t>(d, d + n), n, {}, 0});
}

Status RecordingBoard::readExternal(std::uint16_t a, std::uint8_t* d, std::size_t n)
{
    return read("readExternal", a, d, n);
}
Status RecordingBoard::writeExternal(std::uint16_t a, const std::uint8_t* d, std::size_t n)
{
    return write("writeExternal", a, d, n);
}
Status RecordingBoard::readXilinx(std::uint16_t a, std::uint8_t* d, std::size_t n)
{
    return read("readXilinx", a, d, n);
}
Status RecordingBoard::writeXilinx(std::uint16_t a, const std::uint8_t* d, std::size_t n)
{
    return write("writeXilinx", a, d, n);
}
Status RecordingBoard::read8051(std::uint16_t a, std::uint8_t* d, std::size_t n) { return read("read8051", a, d, n); }
Status RecordingBoard::write8051(std::uint16_t a, const std::uint8_t* d, std::size_t n)
{
    return write("write8051", a, d, n);
}
Status RecordingBoard::readI2C(std::uint8_t a, std::uint8_t* d, std::size_t n) { return read("readI2C", a, d, n); }
Status RecordingBoard::writeI2C(std::uint8_t a, const std::uint8_t* d, std::size_t n)
{
    return write("writeI2C", a, d, n);
}
Status RecordingBoard::readSPI(std::int32_t a, std::uint8_t* d, std::size_t n) { return read("readSPI", a, d, n); }
Status RecordingBoard::writeSPI(std::int32_t a, const std::uint8_t* d, std::size_t n)
{
    return write("writeSPI", a, d, n);
}
Status RecordingBoard::readSerial(std::uint8_t* d, std::size_t n, std::size_t& received)
{
    Status s = read("readSerial", -1, d, n);
    received = s ? n : 0;
    return s;
}
Status RecordingBoard::writeSerial(const std::uint8_t* d, std::size_t n) { return write("writeSerial", -1, d, n); }
Status RecordingBoard::writeCommand(const std::uint8_t* d, std::size_t n) { return write("writeCommand", -1, d, n); }
Status RecordingBoard::readInterrupt(std::uint8_t* report)
{
    return read("readInterrupt", -1, report, kousb::kInterruptReportSize);
}
Status RecordingBoard::writeInterrupt(const std::uint8_t* report)
{
    return write("writeInterrupt", -1, report, kousb::kInterruptReportSize);
}
Status RecordingBoard::readBlock(std::uint8_t* d, std::size_t n) { return read("readBlock", -1, d, n); }
Status RecordingBoard::writeBlock(const std::uint8_t* d, std::size_t n) { return write("writeBlock", -1, d, n); }

Status RecordingBoard::downloadXilinx(const std::string& path)
{
    return record(RecordedCall{"downloadXilinx", -1, {}, 0, path, 0});
}
Status RecordingBoard::loadFirmware(const std::string& path)
{
    return record(RecordedCall{"loadFirmware", -1, {}, 0, path, 0});
}
Status RecordingBoard::loadEepromImage(const std::string& path)
{
    return record(RecordedCall{"loadEepromImage", -1, {}, 0, path, 0});
}
Status RecordingBoard::loadEepromImageWithProgress(const std::string& path, const kousb::EepromFlashOptions&,
                                                   kousb::EepromFlashReport& report)
{
    report = kousb::EepromFlashReport{};
    return loadEepromImage(path);
}
Status RecordingBoard::readEeprom(std::size_t, std::uint8_t*, std::size_t)
{
    return Status::error(kousb::ErrorCode::NotSupported, "EEPROM read-back");
}
Status RecordingBoard::writeId(std::int32_t id) { return record(RecordedCall{"writeId", -1, {}, 0, {}, id}); }
Status RecordingBoard::writeName(const std::string& name)
{
    return record(RecordedCall{"writeName", -1, {}, 0, name, 0});
}
Status RecordingBoard::writeClass(std::uint8_t c) { return record(RecordedCall{"writeClass", -1, {}, 0, {}, c}); }

namespace {

class RecordingBackend : public kousb::Backend {
public:
    RecordingBackend(std::shared_ptr<RecordingBoard> board, int slot) : m_board(std::move(board)), m_slot(slot) {}
    bool start() override { return true; }
    int descriptor() const override { return -1; }
    void rescan(kousb::Registry& registry) override
    {
        if (m_token == 0)
            m_token = registry.attach(m_board, m_slot);
    }

private:
    std::shared_ptr<RecordingBoard> m_board;
    int m_slot;
    kousb::Registry::Token m_token = 0;
};

}  // namespace

std::shared_ptr<RecordingBoard> installRecordingBoard(int slot)
{
    auto board = std::make_shared<RecordingBoard>();
    kousb::Library::instance().addBackend(std::make_unique<RecordingBackend>(board, slot));
    return board;
}
