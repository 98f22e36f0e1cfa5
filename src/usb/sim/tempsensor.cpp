// SPDX-License-Identifier: MIT
#include "tempsensor.h"

#include <string>

namespace kousb::sim {

namespace {

constexpr std::uint8_t kTemperature = 0;
constexpr std::uint8_t kConfiguration = 1;
constexpr std::uint8_t kHysteresis = 2;
constexpr std::uint8_t kOvertemperature = 3;
constexpr std::uint16_t kNineBits = 0xFF80;

}  // namespace

Status TempSensor::write(const std::uint8_t* data, std::size_t length)
{
    if (length == 0)
        return Status::ok();
    if (data[0] > kOvertemperature)
        return Status::error(ErrorCode::NoAcknowledge,
                             "the temperature sensor has registers 0 to 3, not " + std::to_string(data[0]));
    m_pointer = data[0];
    const auto word = [&] { return static_cast<std::uint16_t>((data[1] << 8 | data[2]) & kNineBits); };
    switch (m_pointer) {
    case kConfiguration:
        if (length >= 2)
            m_config = data[1];
        break;
    case kHysteresis:
        if (length >= 3)
            m_hysteresis = word();
        break;
    case kOvertemperature:
        if (length >= 3)
            m_overtemperature = word();
        break;
    default: break;  // the temperature register is read-only
    }
    return Status::ok();
}

void TempSensor::read(std::uint8_t* data, std::size_t length) const
{
    std::uint8_t bytes[2] = {};
    std::size_t size = 2;
    const auto put = [&](std::uint16_t value) {
        bytes[0] = static_cast<std::uint8_t>(value >> 8);
        bytes[1] = static_cast<std::uint8_t>(value);
    };
    switch (m_pointer) {
    case kTemperature: put(static_cast<std::uint16_t>(kHalfDegrees << 7)); break;
    case kConfiguration:
        bytes[0] = m_config;
        size = 1;
        break;
    case kHysteresis: put(m_hysteresis); break;
    default: put(m_overtemperature); break;
    }
    for (std::size_t i = 0; i < length; ++i)
        data[i] = bytes[i % size];
}

int TempSensor::wholeDegrees()
{
    static_assert(kHalfDegrees >= 0, "round down below zero if the sensor ever reads negative");
    return kHalfDegrees / 2;
}

}  // namespace kousb::sim
