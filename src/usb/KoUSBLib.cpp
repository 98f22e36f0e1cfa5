// SPDX-License-Identifier: MIT
#include "KoUSBLib.h"

#include "library.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

using kousb::ErrorCode;
using kousb::Library;
using kousb::Registry;
using kousb::Status;

namespace {

Registry::Token tokenOf(void* handle) { return static_cast<Registry::Token>(reinterpret_cast<std::uintptr_t>(handle)); }

void* handleOf(Registry::Token token) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(token)); }

}  // namespace

bool InitUSB() { return Library::instance().init(); }

bool OnDeviceChange() { return Library::instance().onDeviceChange(); }

int GetMaxNumberOfUSBBoards() { return Library::instance().registry().slotCount(); }

void* GetUSBDeviceIndexed(int index) { return handleOf(Library::instance().registry().tokenAt(index)); }

void* GetUSBDevice(int id, int /*reserved*/)
{
    Registry& registry = Library::instance().registry();
    for (const auto& [slot, token] : registry.snapshot()) {
        (void)slot;
        auto attached = registry.resolve(token);
        if (!attached)
            continue;
        if (id == -1 || attached->call([](kousb::Board& board) { return board.identity().id; }) == id)
            return handleOf(token);
    }
    return nullptr;
}

int GetDeviceChangeDescriptor() { return Library::instance().changeDescriptor(); }

const char* KoUSBErrorName(int code) { return kousb::errorName(static_cast<ErrorCode>(code)); }

const char* KoUSBErrorText(int code) { return kousb::errorText(static_cast<ErrorCode>(code)); }

struct KoUSBDevice::Private {
    std::mutex mutex;  // guards the fields below, not the board call
    Registry::Token token = 0;
    std::string lastError;
    ErrorCode lastCode = ErrorCode::Ok;
    std::string name;
    std::string endpointInfo;
    std::string place;
    std::string serial;
    std::string lastBackup;
    std::string backupError;

    // Runs `op` on the bound board under its call lock and records the outcome.
    template <typename Op>
    Status call(Op&& op)
    {
        Registry::Token t;
        {
            std::lock_guard<std::mutex> lock(mutex);
            t = token;
        }
        Status status;
        if (t == 0) {
            status = Status::error(ErrorCode::NoBoard);
        } else if (auto attached = Library::instance().registry().resolve(t)) {
            status = attached->call(op);
        } else {
            status = Status::error(ErrorCode::Unplugged);
        }
        std::lock_guard<std::mutex> lock(mutex);
        lastError = status.message();
        lastCode = status.code();
        return status;
    }

    // A text the board gives, kept in `kept` for the caller to read.
    const char* text(std::string& kept, std::string (kousb::Board::*get)())
    {
        std::string value;
        call([&](kousb::Board& board) {
            value = (board.*get)();
            return Status::ok();
        });
        std::lock_guard<std::mutex> lock(mutex);
        kept = std::move(value);
        return kept.c_str();
    }

    kousb::BoardIdentity identity()
    {
        kousb::BoardIdentity result;
        call([&](kousb::Board& board) {
            result = board.identity();
            return Status::ok();
        });
        return result;
    }
};

namespace {

Status refuseNegative(int length)
{
    return length < 0 ? Status::error(ErrorCode::InvalidArgument, "negative length") : Status::ok();
}

}  // namespace

KoUSBDevice::KoUSBDevice(void* handle) : d(new Private) { d->token = tokenOf(handle); }

KoUSBDevice::~KoUSBDevice() { delete d; }

void KoUSBDevice::SetDeviceHandle(void* handle)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->token = tokenOf(handle);
}

int KoUSBDevice::GetId() { return d->identity().id; }
int KoUSBDevice::GetClass() { return d->identity().deviceClass; }
int KoUSBDevice::GetFWVersion() { return d->identity().firmwareVersion; }

const char* KoUSBDevice::GetName()
{
    std::string name = d->identity().name;
    std::lock_guard<std::mutex> lock(d->mutex);
    d->name = std::move(name);
    return d->name.c_str();
}

const char* KoUSBDevice::GetPlace() { return d->text(d->place, &kousb::Board::place); }

const char* KoUSBDevice::GetSerial() { return d->text(d->serial, &kousb::Board::serial); }

const char* KoUSBDevice::GetEndpointInfo() { return d->text(d->endpointInfo, &kousb::Board::endpointInfo); }

bool KoUSBDevice::ReloadIdentity()
{
    return d->call([](kousb::Board& board) { return board.reloadIdentity(); }).isOk();
}

const char* KoUSBDevice::GetLastError()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->lastError.c_str();
}

int KoUSBDevice::GetLastErrorCode()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return static_cast<int>(d->lastCode);
}

// Transfers: refuse what no board could take before asking the board.
#define KOUSB_CHECKED(length, expr)                                         \
    d->call([&](kousb::Board& board) {                                      \
         if (Status s = refuseNegative(length); !s)                         \
             return s;                                                      \
         if (buffer == nullptr && (length) > 0)                             \
             return Status::error(ErrorCode::InvalidArgument, "no buffer"); \
         return board.expr;                                                 \
     }).isOk()

bool KoUSBDevice::ReadExternal(unsigned short address, unsigned char* buffer, int length)
{
    return KOUSB_CHECKED(length, readExternal(address, buffer, static_cast<std::size_t>(length)));
}

bool KoUSBDevice::WriteExternal(unsigned short address, unsigned char* buffer, int length)
{
    return KOUSB_CHECKED(length, writeExternal(address, buffer, static_cast<std::size_t>(length)));
}

bool KoUSBDevice::ReadXilinx(unsigned short address, unsigned char* buffer, int length)
{
    return KOUSB_CHECKED(length, readXilinx(address, buffer, static_cast<std::size_t>(length)));
}

bool KoUSBDevice::WriteXilinx(unsigned short address, unsigned char* buffer, int length)
{
    return KOUSB_CHECKED(length, writeXilinx(address, buffer, static_cast<std::size_t>(length)));
}

bool KoUSBDevice::Read8051(unsigned short address, unsigned char* buffer, unsigned short length)
{
    return KOUSB_CHECKED(length, read8051(address, buffer, length));
}

bool KoUSBDevice::Write8051(unsigned short address, unsigned char* buffer, unsigned short length)
{
    return KOUSB_CHECKED(length, write8051(address, buffer, length));
}

bool KoUSBDevice::ReadI2C(unsigned char address, unsigned char* buffer, unsigned short length)
{
    return KOUSB_CHECKED(length, readI2C(address, buffer, length));
}

bool KoUSBDevice::WriteI2C(unsigned char address, unsigned char* buffer, unsigned short length)
{
    return KOUSB_CHECKED(length, writeI2C(address, buffer, length));
}

bool KoUSBDevice::ReadSPI(int address, unsigned char* buffer, unsigned short length)
{
    return KOUSB_CHECKED(length, readSPI(address, buffer, length));
}

bool KoUSBDevice::WriteSPI(int address, unsigned char* buffer, unsigned short length)
{
    return KOUSB_CHECKED(length, writeSPI(address, buffer, length));
}

bool KoUSBDevice::ReadSerial(unsigned char* buffer, unsigned short length)
{
    std::size_t received = 0;
    return KOUSB_CHECKED(length, readSerial(buffer, length, received));
}

bool KoUSBDevice::WriteSerial(unsigned char* buffer, unsigned short length)
{
    return KOUSB_CHECKED(length, writeSerial(buffer, length));
}

bool KoUSBDevice::WriteCommand(unsigned char* buffer, unsigned short length)
{
    return KOUSB_CHECKED(length, writeCommand(buffer, length));
}

bool KoUSBDevice::ReadInterrupt(unsigned char* buffer)
{
    return KOUSB_CHECKED(static_cast<int>(kousb::kInterruptReportSize), readInterrupt(buffer));
}

bool KoUSBDevice::WriteInterrupt(unsigned char* buffer)
{
    return KOUSB_CHECKED(static_cast<int>(kousb::kInterruptReportSize), writeInterrupt(buffer));
}

bool KoUSBDevice::ReadBlock(unsigned char* buffer, int length)
{
    return KOUSB_CHECKED(length, readBlock(buffer, static_cast<std::size_t>(length)));
}

bool KoUSBDevice::WriteBlock(unsigned char* buffer, int length)
{
    return KOUSB_CHECKED(length, writeBlock(buffer, static_cast<std::size_t>(length)));
}

#undef KOUSB_CHECKED

namespace {

Status checkedPath(const char* path)
{
    if (path == nullptr || *path == '\0')
        return Status::error(ErrorCode::InvalidArgument, "empty file name");
    return Status::ok();
}

}  // namespace

bool KoUSBDevice::DownloadXilinx(const char* path)
{
    return d
        ->call([&](kousb::Board& board) {
            if (Status s = checkedPath(path); !s)
                return s;
            return board.downloadXilinx(path);
        })
        .isOk();
}

bool KoUSBDevice::LoadFirmwareFromFile(const char* path)
{
    return d
        ->call([&](kousb::Board& board) {
            if (Status s = checkedPath(path); !s)
                return s;
            return board.loadFirmware(path);
        })
        .isOk();
}

bool KoUSBDevice::LoadFirmwareFromFileAndWait(const char* path, int waitMilliseconds)
{
    return d
        ->call([&](kousb::Board& board) {
            if (Status s = checkedPath(path); !s)
                return s;
            if (waitMilliseconds < 0)
                return Status::error(ErrorCode::InvalidArgument, "negative wait");
            return board.loadFirmwareWaiting(path, std::chrono::milliseconds(waitMilliseconds));
        })
        .isOk();
}

bool KoUSBDevice::LoadHexFileToEeprom(const char* path)
{
    return d
        ->call([&](kousb::Board& board) {
            if (Status s = checkedPath(path); !s)
                return s;
            return board.loadEepromImage(path);
        })
        .isOk();
}

bool KoUSBDevice::WriteIDToEEPROM(int id)
{
    return d->call([&](kousb::Board& board) { return board.writeId(id); }).isOk();
}

bool KoUSBDevice::WriteNameToEEPROM(const char* name)
{
    return d
        ->call([&](kousb::Board& board) {
            if (name == nullptr)
                return Status::error(ErrorCode::InvalidArgument, "no name");
            return board.writeName(name);
        })
        .isOk();
}

bool KoUSBDevice::WriteDeviceClassToEEPROM(unsigned char deviceClass)
{
    return d->call([&](kousb::Board& board) { return board.writeClass(deviceClass); }).isOk();
}

namespace {

kousb::Board::Progress progressOf(KoUSBDevice::ProgressHook hook, void* context)
{
    if (hook == nullptr)
        return {};
    return [hook, context](std::size_t done, std::size_t total) {
        hook(context, static_cast<long long>(done), static_cast<long long>(total));
    };
}

}  // namespace

bool KoUSBDevice::LoadHexFileToEepromWithProgress(const char* path, ProgressHook hook, void* context)
{
    kousb::EepromFlashOptions options;
    options.progress = progressOf(hook, context);
    kousb::EepromFlashReport report;
    return d
        ->call([&](kousb::Board& board) {
            if (Status s = checkedPath(path); !s)
                return s;
            return board.loadEepromImageWithProgress(path, options, report);
        })
        .isOk();
}

bool KoUSBDevice::LoadHexFileToEepromWithBackup(const char* path, const char* backupPath, int flags, ProgressHook hook,
                                                void* context)
{
    kousb::EepromFlashOptions options;
    options.progress = progressOf(hook, context);
    options.checkBoot = (flags & FlashUnchecked) == 0;
    options.flashWithoutBackup = (flags & FlashWithoutBackup) != 0;
    kousb::EepromFlashReport report;
    const bool ok =
        d->call([&](kousb::Board& board) {
             if (Status s = checkedPath(path); !s)
                 return s;
             if (backupPath != nullptr) {
                 if (*backupPath == '\0')
                     return Status::error(ErrorCode::InvalidArgument, "empty backup file name");
                 if (std::string(path) == backupPath)
                     return Status::error(ErrorCode::InvalidArgument, "the backup would overwrite the image");
                 options.backupPath = backupPath;
             }
             return board.loadEepromImageWithProgress(path, options, report);
         }).isOk();
    std::lock_guard<std::mutex> lock(d->mutex);
    d->lastBackup = report.backupMade ? options.backupPath : std::string();
    d->backupError = report.backupError;
    return ok;
}

const char* KoUSBDevice::GetLastBackup()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->lastBackup.c_str();
}

const char* KoUSBDevice::GetBackupError()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->backupError.c_str();
}

int KoUSBDevice::GetEEPROMSize()
{
    std::size_t size = 0;
    d->call([&](kousb::Board& board) {
        size = board.eepromSize();
        if (size > 0)
            return Status::ok();
        // A read beyond the size is refused without reading (the Board
        // contract); its reason, when it is more than the range, is why the
        // board has no EEPROM to read back.
        std::uint8_t byte = 0;
        const Status why = board.readEeprom(0, &byte, 1);
        if (why.isOk() || why.code() == ErrorCode::OutOfRange)
            return Status::error(ErrorCode::NotSupported, "the board cannot read its EEPROM back");
        return why;
    });
    return static_cast<int>(size);
}

bool KoUSBDevice::ReadEEPROM(int offset, unsigned char* buffer, int length)
{
    return d
        ->call([&](kousb::Board& board) {
            if (offset < 0)
                return Status::error(ErrorCode::InvalidArgument, "negative offset");
            if (Status s = refuseNegative(length); !s)
                return s;
            if (buffer == nullptr && length > 0)
                return Status::error(ErrorCode::InvalidArgument, "no buffer");
            return board.readEeprom(static_cast<std::size_t>(offset), buffer, static_cast<std::size_t>(length));
        })
        .isOk();
}
