#include "fakecontrollermodel.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace kousb::usb;

namespace {

ModelReply replyOf(const TransferResult& r)
{
    switch (r.error) {
    case TransferError::None: return {ModelReply::Done, r.transferred};
    case TransferError::Stall: return {ModelReply::Stall, 0};
    case TransferError::Timeout: return {ModelReply::Nak, 0};
    case TransferError::NoDevice: return {ModelReply::Gone, 0};
    default: return {ModelReply::Stall, 0};
    }
}

// String descriptor `index` as UTF-16LE; empty for none.
std::string stringDescriptor(unsigned index)
{
    if (index == 0)
        return std::string("\x04\x03\x09\x04", 4);  // US English only
    if (index != 2)
        return {};
    std::string out(2, '\0');
    for (char c : std::string("Emulated lab board")) {
        out += c;
        out += '\0';
    }
    out[0] = char(out.size());
    out[1] = 3;
    return out;
}

} // namespace

ModelReply FakeControllerModel::control(const std::uint8_t* setup, std::uint8_t* data)
{
    const std::uint16_t value = std::uint16_t(setup[2] | setup[3] << 8);
    const std::uint16_t index = std::uint16_t(setup[4] | setup[5] << 8);
    const std::uint16_t length = std::uint16_t(setup[6] | setup[7] << 8);
    if (setup[0] == 0x80 && setup[1] == 0x06 && (value >> 8) == 3) {  // GET_DESCRIPTOR(string)
        const std::string text = stringDescriptor(value & 0xFF);
        if (text.empty())
            return {ModelReply::Stall, 0};
        const std::size_t n = std::min<std::size_t>(length, text.size());
        std::memcpy(data, text.data(), n);
        return {ModelReply::Done, n};
    }
    return replyOf(m_fake->control(setup[0], setup[1], value, index, data, length, Milliseconds(0)));
}

ModelReply FakeControllerModel::transfer(std::uint8_t endpoint, bool interrupt, std::uint8_t* data,
                                         std::size_t length)
{
    return replyOf(interrupt ? m_fake->interrupt(endpoint, data, length, Milliseconds(0))
                             : m_fake->bulk(endpoint, data, length, Milliseconds(0)));
}

bool FakeControllerModel::clearHalt(std::uint8_t endpoint)
{
    return m_fake->clearHalt(endpoint).ok();
}

std::uint16_t FakeControllerModel::productId() const
{
    return m_fake->description().productId;
}

bool FakeControllerModel::takeRelease()
{
    // The fake's own wait for re-enumeration is where it takes up its new
    // descriptors; here the bus re-enumerates the board.
    if (!m_fake->releasePending())
        return false;
    m_fake->awaitReenumeration(Milliseconds(0), Milliseconds(0));
    return true;
}

std::shared_ptr<FakeControllerModel> makeBoardModel(FakeController::Runs runs)
{
    return std::make_shared<FakeControllerModel>(std::make_shared<FakeController>(runs));
}
