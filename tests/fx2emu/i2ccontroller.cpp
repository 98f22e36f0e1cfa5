// SPDX-License-Identifier: MIT
#include "i2ccontroller.h"

I2cController::I2cController(const Bits& bits, std::function<std::uint64_t()> now,
                             std::function<void(std::uint64_t)> spend, std::function<void(const std::string&)> fault)
    : m_bits(bits), m_now(std::move(now)), m_spend(std::move(spend)), m_fault(std::move(fault))
{
}

std::uint8_t I2cController::control() const
{
    std::uint8_t v = 0;
    if (m_startPending)
        v |= m_bits.start;
    if (m_stopPending)
        v |= m_bits.stop;
    if (m_lastRead)
        v |= m_bits.lastRead;
    if (m_bootEeprom)
        v |= m_bits.id1;
    if (m_berr)
        v |= m_bits.berr;
    if (m_ack)
        v |= m_bits.ack;
    if (m_done)
        v |= m_bits.done;
    return v;
}

bool I2cController::busError()
{
    if (m_failCount < 0 || ++m_failCount < m_failAt)
        return false;
    m_failAt = 0;
    m_failCount = -1;
    // Contention ends what the master was doing: nothing is left to hand
    // over, and a STOP goes out at once.
    m_reading = m_unread = false;
    m_berr = true;
    m_ack = false;
    m_done = true;
    return true;
}

void I2cController::sendStart(std::uint8_t addressByte)
{
    m_startPending = false;
    m_berr = false;
    m_open = true;
    m_refused = m_unread = false;
    m_spend(clocks(10));  // START and nine clocks of address and acknowledge
    m_done = true;
    if (m_failAt && m_failCount < 0 && (addressByte >> 1) == m_failAddress)
        m_failCount = 0;
    if (busError())
        return;
    m_selected = nullptr;
    for (I2cDevice* d : m_devices)
        if (d->address() == (addressByte >> 1))
            m_selected = d;
    const bool read = addressByte & 1;
    m_ack = m_selected && m_selected->select(read, m_now());
    m_reading = read && m_ack;
}

void I2cController::sendStop()
{
    if (m_open && m_selected && m_ack)
        m_selected->stop(m_now());
    m_spend(clocks(1));
    m_open = m_reading = m_stopPending = m_lastRead = m_unread = false;
    m_selected = nullptr;
}

void I2cController::controlWritten(std::uint8_t value)
{
    if (value & m_bits.start)
        m_startPending = true;
    if (value & m_bits.lastRead)
        m_lastRead = true;
    if (!(value & m_bits.stop))
        return;
    // In a read, the STOP waits for the read of I2DAT that hands over the
    // last byte; otherwise it goes out now.
    if (m_open && m_reading && m_unread)
        m_stopPending = true;
    else
        sendStop();
}

void I2cController::dataWritten(std::uint8_t value)
{
    if (m_startPending) {
        sendStart(value);
        return;
    }
    if (!m_open) {
        m_fault("I2DAT written with no START: the byte goes out on an idle bus");
        m_spend(clocks(9));
        m_done = true;
        m_ack = false;
        return;
    }
    if (m_reading) {
        m_fault("I2DAT written in the middle of a read");
        return;
    }
    m_spend(clocks(9));
    m_done = true;
    if (busError())
        return;
    m_ack = m_selected && m_ack && m_selected->write(value);
}

void I2cController::dataRead()
{
    if (m_stopPending) {
        sendStop();  // the last byte is handed over; no further burst
        return;
    }
    m_spend(clocks(9));
    m_done = true;
    if (!m_open || !m_reading) {
        m_fault(m_open ? "I2DAT read while writing: a read burst starts in a write"
                       : "I2DAT read on an idle bus: it starts a read burst with no transaction");
        m_data = 0xFF;
        return;
    }
    if (busError())
        return;
    if (m_refused) {
        m_fault("I2DAT read after the master refused the last byte without a STOP");
        m_data = 0xFF;
        return;
    }
    m_data = m_selected->read();
    m_unread = true;
    if (m_lastRead) {
        m_lastRead = false;
        m_refused = true;  // the master NAKs this byte: the device stops sending
    }
}
