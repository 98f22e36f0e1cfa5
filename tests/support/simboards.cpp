// SPDX-License-Identifier: MIT
#include "simboards.h"

#include "KoUSBLib.h"
#include "eepromlayout.h"
#include "sim/boardstore.h"
#include "sim/simboard.h"
#include "sim/simdirectory.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <stdexcept>

SimBoards::SimBoards()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    qputenv("KOUSB_SIM_DIR", QFile::encodeName(m_dir.path()));
}

std::string SimBoards::dir() const { return QFile::encodeName(m_dir.path()).toStdString(); }

std::string SimBoards::path(int slot) const { return dir() + "/" + kousb::sim::boardFileName(slot); }

void SimBoards::plug(int slot, const Options& options)
{
    kousb::sim::BoardState state = kousb::sim::blankBoard();
    state.bulkRateMBps = options.rate;
    state.fpgaDesign = "test.ncd";
    state.controllerFirmware = "test firmware";
    kousb::eeprom::writeId(state.eeprom, options.id);
    kousb::eeprom::writeClass(state.eeprom, static_cast<std::uint8_t>(options.deviceClass));
    kousb::eeprom::writeFirmwareVersion(state.eeprom, static_cast<std::uint16_t>(options.firmwareVersion));
    if (!kousb::eeprom::writeName(state.eeprom, options.name))
        throw std::runtime_error("name too long for a board");
    std::string error;
    if (kousb::sim::BoardStore(dir()).plug(state, slot, error) != slot)
        throw std::runtime_error(error);
}

void SimBoards::plug(int slot, int id, const std::string& name)
{
    Options options;
    options.id = id;
    options.name = name;
    plug(slot, options);
}

void SimBoards::unplug(int slot)
{
    std::string error;
    kousb::sim::BoardStore(dir()).unplug(slot, error);
}

void SimBoards::unplugAll()
{
    QDir dir(m_dir.path());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
    QDir(dir.filePath(QStringLiteral("unplugged"))).removeRecursively();
    QDir powered(dir.filePath(QString::fromLatin1(kousb::sim::kStateFolder)));
    for (const QString& name : powered.entryList(QDir::Files | QDir::Hidden))
        powered.remove(name);
}

kousb::sim::BoardState SimBoards::read(int slot) const
{
    std::string error;
    kousb::sim::BoardState state;
    if (!kousb::sim::BoardStore(dir()).readLive(slot, state, error))
        throw std::runtime_error(error);
    return state;
}

void SimBoards::writeRaw(const std::string& fileName, const std::string& content)
{
    QFile file(m_dir.filePath(QString::fromStdString(fileName)));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(content.data(), qint64(content.size())) != qint64(content.size()))
        throw std::runtime_error("cannot write " + fileName);
}

bool SimBoards::sync() { return OnDeviceChange(); }
