// SPDX-License-Identifier: MIT
#pragma once
// KoUSBLib: the board library as the USB Device Manager uses it.
//
// Plain C++17, no Qt. Boards are found by backends (simulated boards and,
// through libusb, real USB boards) and kept in numbered slots. A device
// handle is an opaque token owned by the library: a handle whose board has
// gone never dangles, every call on it fails harmlessly.
//
// All calls may be made from any thread; calls on one board are serialised
// inside the library.

#if defined(_WIN32) && defined(KOUSB_BUILD_SHARED)
#define KOUSB_API __declspec(dllexport)
#else
#define KOUSB_API
#endif

// Why a call failed, as GetLastErrorCode() gives it: one code per kind of
// fault, so a program can act on it without reading the text. The values
// are fixed for good; new codes only ever get new values.
enum KoUSBError {
    KOUSB_SUCCESS = 0,
    KOUSB_ERROR_NO_BOARD = -1,          // the object is bound to no board, or no board has that ID
    KOUSB_ERROR_UNPLUGGED = -2,         // the board has gone
    KOUSB_ERROR_ACCESS_DENIED = -3,     // the board's device node cannot be opened by this user
    KOUSB_ERROR_NOT_SUPPORTED = -4,     // the board's firmware cannot do this at all
    KOUSB_ERROR_NOT_READY = -5,         // the board can, but not in its present state (FPGA not configured)
    KOUSB_ERROR_NO_ACKNOWLEDGE = -6,    // nothing answered at that bus address
    KOUSB_ERROR_BAD_ARGUMENT = -7,      // a length, address or value the operation cannot take
    KOUSB_ERROR_OUT_OF_RANGE = -8,      // an address outside the target memory
    KOUSB_ERROR_TIMEOUT = -9,           // the board did not answer in time
    KOUSB_ERROR_TRANSFER_FAILED = -10,  // a transfer or storage fault
    KOUSB_ERROR_VERIFY_FAILED = -11,    // what was written reads back different
    KOUSB_ERROR_FILE_NOT_FOUND = -12,
    KOUSB_ERROR_FILE_UNREADABLE = -13,
    KOUSB_ERROR_FILE_UNWRITABLE = -14,
    KOUSB_ERROR_BAD_FILE = -15,  // the file's content was refused
};

// The code's name as spelled above ("KOUSB_ERROR_UNPLUGGED"), and its text
// without detail ("board unplugged"), which begins GetLastError() after a
// failure with that code. Never null; "**UNKNOWN**" and "unknown error" for
// a value that is no code.
KOUSB_API const char* KoUSBErrorName(int code);
KOUSB_API const char* KoUSBErrorText(int code);

// Prepares the library and looks for boards. Call once before anything else;
// a later call looks for boards again. Returns false when no backend could start.
KOUSB_API bool InitUSB();

// Brings the library's view of the attached boards up to date.
// Returns true when the set of boards changed since the last call, or when a
// board kept its slot but changed what it shows (its identity, firmware or
// FPGA design: a firmware load that re-enumerates, another program's writes
// to a simulated board).
KOUSB_API bool OnDeviceChange();

// Number of slots to scan with GetUSBDeviceIndexed; at least 16.
KOUSB_API int GetMaxNumberOfUSBBoards();

// Handle of the board in slot `index`, or null for an empty slot or an index
// outside 0..GetMaxNumberOfUSBBoards()-1.
KOUSB_API void* GetUSBDeviceIndexed(int index);

// Handle of the first board (in slot order) whose ID is `id`, or of the first
// board at all for id -1; null if there is none. `reserved` is always -1.
KOUSB_API void* GetUSBDevice(int id, int reserved);

// A descriptor that becomes readable when the set of boards, or what one of
// them shows, may have changed, so a caller can wait for changes without
// polling; OnDeviceChange drains it.
// -1 where the platform has no such descriptor (call OnDeviceChange on the
// platform's own device-change messages instead). Valid after InitUSB.
KOUSB_API int GetDeviceChangeDescriptor();

class KoUSBDevice {
public:
    // Binds to `handle` (null: no board).
    explicit KoUSBDevice(void* handle);
    ~KoUSBDevice();
    KoUSBDevice(const KoUSBDevice&) = delete;
    KoUSBDevice& operator=(const KoUSBDevice&) = delete;

    // Binds to another board (null unbinds). Handles belong to the library:
    // several objects may share one; destroying an object leaves it valid.
    void SetDeviceHandle(void* handle);

    // Identity as stored in the board's EEPROM; 0 or empty text when unbound
    // or when the board has gone. The texts stay valid until the next call of
    // the same getter on this object.
    int GetId();
    int GetClass();
    int GetFWVersion();
    const char* GetName();
    const char* GetEndpointInfo();

    // Transfers. Reads write at most `length` bytes into `buffer` (at most 16
    // for ReadInterrupt); a negative length is refused. All return false on
    // failure and leave the reason in GetLastError().
    bool ReadExternal(unsigned short address, unsigned char* buffer, int length);
    bool WriteExternal(unsigned short address, unsigned char* buffer, int length);
    bool ReadXilinx(unsigned short address, unsigned char* buffer, int length);
    bool WriteXilinx(unsigned short address, unsigned char* buffer, int length);
    bool Read8051(unsigned short address, unsigned char* buffer, unsigned short length);
    bool Write8051(unsigned short address, unsigned char* buffer, unsigned short length);
    bool ReadI2C(unsigned char address, unsigned char* buffer, unsigned short length);
    bool WriteI2C(unsigned char address, unsigned char* buffer, unsigned short length);
    bool ReadSPI(int address, unsigned char* buffer, unsigned short length);
    bool WriteSPI(int address, unsigned char* buffer, unsigned short length);
    bool ReadSerial(unsigned char* buffer, unsigned short length);
    bool WriteSerial(unsigned char* buffer, unsigned short length);
    bool WriteCommand(unsigned char* buffer, unsigned short length);
    bool ReadInterrupt(unsigned char* buffer);
    bool WriteInterrupt(unsigned char* buffer);
    bool ReadBlock(unsigned char* buffer, int length);
    bool WriteBlock(unsigned char* buffer, int length);

    // Firmware and EEPROM; each path is a zero-terminated file name in the
    // platform's encoding, read by the library during the call only.
    bool DownloadXilinx(const char* path);
    bool LoadFirmwareFromFile(const char* path);
    bool LoadHexFileToEeprom(const char* path);
    bool WriteIDToEEPROM(int id);
    bool WriteNameToEEPROM(const char* name);
    bool WriteDeviceClassToEEPROM(unsigned char deviceClass);

    // LoadFirmwareFromFile for a board that leaves the bus when the new
    // firmware starts and comes back under a new address (a USB board):
    // waits up to `waitMilliseconds` (LoadFirmwareFromFile: 5 s) for it to
    // come back at the same place, woken by the bus's hot-plug events. Fails
    // with KOUSB_ERROR_TIMEOUT, naming the place, when it does not; the
    // board is then gone, and found again as a new board if it comes later.
    bool LoadFirmwareFromFileAndWait(const char* path, int waitMilliseconds);

    // --- EEPROM read-back and progress (beside the calls above) ---

    // Called with the bytes done so far and in all while a long call runs, on
    // the thread that made the call; it must not call this library for the
    // same board. `context` is passed through unchanged.
    typedef void (*ProgressHook)(void* context, long long done, long long total);

    // LoadHexFileToEeprom, calling `hook` (if not null) as the flash goes on.
    // Like it, the flash reads the EEPROM back afterwards and fails, naming
    // the first differing offset, when it does not hold the image.
    //
    // Every flash (these calls and LoadHexFileToEepromWithBackup) first
    // refuses, writing nothing, an image after which the controller would not
    // boot: one that leaves the EEPROM starting with 0xC2, the boot ROM's
    // "load firmware" mark, when the records after it would not load a
    // firmware and start it (docs/recovery.md lists the checks).
    bool LoadHexFileToEepromWithProgress(const char* path, ProgressHook hook, void* context);

    // Flags for LoadHexFileToEepromWithBackup.
    enum FlashFlags {
        FlashUnchecked = 1,      // write an image the boot check refuses
        FlashWithoutBackup = 2,  // flash even when the backup cannot be made
    };
    // LoadHexFileToEepromWithProgress that first saves the EEPROM's present
    // content at `backupPath` as Intel HEX (every byte, as kousb dump-eeprom
    // writes it, replacing a file there), after the image has been read and
    // checked and before the first write. When the backup cannot be made
    // nothing is written and the call fails, unless `flags` has
    // FlashWithoutBackup. A null `backupPath` makes no backup.
    bool LoadHexFileToEepromWithBackup(const char* path, const char* backupPath, int flags, ProgressHook hook,
                                       void* context);
    // After LoadHexFileToEepromWithBackup: the backup's path when it was
    // made, else empty text; and why a backup was not made (empty when it
    // was, or when the call failed before it came to the backup).
    const char* GetLastBackup();
    const char* GetBackupError();

    // Where the board is plugged in: for a USB board its bus and hub port
    // path as Linux names the device ("1-2.3"), which stays the same when the
    // board re-enumerates on that port; for a simulated board "sim-" and its
    // slot. Empty text when unbound or gone; valid until the next call of
    // this getter on this object.
    const char* GetPlace();
    // The board's serial number: a USB board's serial string (our firmware
    // gives "KO" and its ID as eight hexadecimal digits, made when it
    // starts), a simulated board's made the same way from the ID it holds.
    // Empty text when unbound, gone or the board has none; valid until the
    // next call of this getter on this object.
    const char* GetSerial();
    // Bytes of EEPROM the board can read back; 0 when unbound, gone, or the
    // board cannot read its EEPROM back, and GetLastError() then says which.
    int GetEEPROMSize();
    // Reads `length` bytes of EEPROM from `offset` into `buffer`; refuses a
    // negative length or a range beyond GetEEPROMSize().
    bool ReadEEPROM(int offset, unsigned char* buffer, int length);

    // Reads the identity from the board again, for when another program may
    // have written it: the getters above give what the library read when the
    // board was found or last written through it. False when the board
    // cannot be read (the getters then keep what they had).
    bool ReloadIdentity();

    // A short human-readable reason for the last failed call on this object,
    // or empty text after a call that succeeded.
    const char* GetLastError();
    // The code of the same outcome: a KoUSBError, KOUSB_SUCCESS after a call
    // that succeeded.
    int GetLastErrorCode();

private:
    struct Private;
    Private* d;
};
