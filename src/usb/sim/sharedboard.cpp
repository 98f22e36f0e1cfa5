// SPDX-License-Identifier: MIT
#include "sharedboard.h"

#include "controller.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace kousb::sim {

namespace {

constexpr std::uint64_t kMagic = 0x31454154534b4255ULL;  // "UBKSTAE1"

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// The file's bytes past `from` read as zero again, without writing them.
void zeroRange(int fd, void* at, std::size_t from, std::size_t length)
{
#ifdef FALLOC_FL_PUNCH_HOLE
    if (::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
                    static_cast<off_t>(length))
        == 0)
        return;
#endif
    std::memset(at, 0, length);
}

bool initLock(pthread_mutex_t* mutex)
{
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0)
        return false;
    const bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0
                    && pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0
                    && pthread_mutex_init(mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

SharedBoardState* map(int fd)
{
    void* at = ::mmap(nullptr, sizeof(SharedBoardState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return at == MAP_FAILED ? nullptr : static_cast<SharedBoardState*>(at);
}

// The state file must be ours and a plain file; a planted link is never opened.
bool checkFile(int fd, const std::string& path, std::string& error)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = systemError(path);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        error = path + " is not a file of your own";
        return false;
    }
    return true;
}

}  // namespace

const RecordedRoute kRecordedRoutes[9] = {
    {"External", KOUSB_REQ_EXTERNAL, 0},
    {"FPGA", KOUSB_REQ_FPGA_REGISTER, 0},
    {"Controller", KOUSB_REQ_FIRMWARE_LOAD, 0},
    {"I2C", KOUSB_REQ_I2C, 0},
    {"SPI", KOUSB_REQ_SPI, 0},
    {"UART", KOUSB_REQ_UART, 0},
    {"Command", KOUSB_REQ_COMMAND, 0},
    {"Interrupt", 0, 0x01},
    {"Block", 0, 0x02},
};

std::unique_ptr<SharedBoard> SharedBoard::open(const std::string& path, const BoardState& config, std::string& error)
{
    int opened = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (opened < 0 && errno == ENOENT) {
        // The state folder went (a test clearing the board folder): it is ours to make again.
        ::mkdir(path.substr(0, path.find_last_of('/')).c_str(), 0700);
        opened = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    Fd fd(opened);
    if (fd.get() < 0) {
        error = systemError("cannot open " + path);
        return nullptr;
    }
    if (!checkFile(fd.get(), path, error))
        return nullptr;
    // flock only guards the setting up of a new file; calls use the mutex in it.
    while (::flock(fd.get(), LOCK_EX) != 0)
        if (errno != EINTR) {
            error = systemError("cannot lock " + path);
            return nullptr;
        }
    struct stat st;
    ::fstat(fd.get(), &st);
    const bool fresh = static_cast<std::size_t>(st.st_size) != sizeof(SharedBoardState);
    if (fresh && (::ftruncate(fd.get(), 0) != 0 || ::ftruncate(fd.get(), sizeof(SharedBoardState)) != 0)) {
        error = systemError("cannot size " + path);
        return nullptr;
    }
    SharedBoardState* state = map(fd.get());
    if (state == nullptr) {
        error = systemError("cannot map " + path);
        return nullptr;
    }
    std::unique_ptr<SharedBoard> board(new SharedBoard(state, fd.release()));
    if (fresh || state->magic != kMagic || state->layoutSize != sizeof(SharedBoardState)) {
        std::memset(static_cast<void*>(state), 0, offsetof(SharedBoardState, powered));
        if (!initLock(&state->lock)) {
            error = "cannot set up the lock in " + path;
            return nullptr;
        }
        state->layoutSize = sizeof(SharedBoardState);
        __atomic_store_n(&state->magic, kMagic, __ATOMIC_RELEASE);
    }
    ::flock(board->m_fd, LOCK_UN);

    Lock lock(*board);
    if (!board->belongsTo(config.instance)) {
        zeroRange(board->m_fd, &state->powered, offsetof(SharedBoardState, powered), sizeof(PoweredBoard));
        board->powerOn(config);
    }
    board->m_seen = board->changes();
    return board;
}

std::unique_ptr<SharedBoard> SharedBoard::openExisting(const std::string& path, const std::string& instance)
{
    Fd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    std::string error;
    struct stat st;
    if (fd.get() < 0 || !checkFile(fd.get(), path, error) || ::fstat(fd.get(), &st) != 0
        || static_cast<std::size_t>(st.st_size) != sizeof(SharedBoardState))
        return nullptr;
    SharedBoardState* state = map(fd.get());
    if (state == nullptr)
        return nullptr;
    std::unique_ptr<SharedBoard> board(new SharedBoard(state, -1));
    if (__atomic_load_n(&state->magic, __ATOMIC_ACQUIRE) != kMagic || state->layoutSize != sizeof(SharedBoardState))
        return nullptr;
    Lock lock(*board);
    return board->belongsTo(instance) ? std::move(board) : nullptr;
}

void SharedBoard::unplug(const std::string& path)
{
    Fd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    std::string error;
    struct stat st;
    if (fd.get() >= 0 && checkFile(fd.get(), path, error) && ::fstat(fd.get(), &st) == 0
        && static_cast<std::size_t>(st.st_size) == sizeof(SharedBoardState)) {
        if (SharedBoardState* state = map(fd.get())) {
            std::unique_ptr<SharedBoard> board(new SharedBoard(state, -1));
            // Without the lock, which a long call (an EEPROM flash) may hold:
            // its next transfer sees the flag.
            if (__atomic_load_n(&state->magic, __ATOMIC_ACQUIRE) == kMagic)
                __atomic_store_n(&state->unplugged, 1, __ATOMIC_RELEASE);
        }
    }
    ::unlink(path.c_str());
}

SharedBoard::SharedBoard(SharedBoardState* state, int fd) : m_state(state), m_fd(fd) {}

SharedBoard::~SharedBoard()
{
    ::munmap(m_state, sizeof(SharedBoardState));
    if (m_fd >= 0)
        ::close(m_fd);
}

std::uint32_t SharedBoard::changes() const
{
    return __atomic_load_n(&m_state->powered.board.changes, __ATOMIC_ACQUIRE);
}

void SharedBoard::callEnded(std::uint32_t before, std::uint32_t now)
{
    if (now == before)
        return;
    std::uint32_t seen = before;
    m_seen.compare_exchange_strong(seen, now);
    if (m_fd >= 0)
        ::futimens(m_fd, nullptr);
}

bool SharedBoard::changedElsewhere()
{
    const std::uint32_t now = changes();
    return m_seen.exchange(now) != now;
}

bool SharedBoard::belongsTo(const std::string& instance) const
{
    return !__atomic_load_n(&m_state->unplugged, __ATOMIC_ACQUIRE) && !instance.empty()
           && instance.size() < sizeof m_state->instance
           && std::strncmp(m_state->instance, instance.c_str(), sizeof m_state->instance) == 0;
}

// A board just powered: the EEPROM as its file has it; the rest as the board
// comes up: our firmware on the simulated board's profile (with the file's
// FPGA part) when the file names a firmware, the boot state when it names
// none, and the FPGA configured with the file's design, if any.
void SharedBoard::powerOn(const BoardState& config)
{
    SharedBoardState& s = *m_state;
    fwmodel::PowerOn how;
    how.profile = {fwmodel::kSimulatedProfile.name, fwmodel::kSimulatedProfile.capabilities, config.fpgaPart.c_str()};
    how.running = !config.controllerFirmware.empty();
    how.firmware = config.controllerFirmware.c_str();
    how.eeprom = config.eeprom.data();
    how.eepromDropOffset = config.eepromDropOffset ? std::int32_t(*config.eepromDropOffset) : -1;
    how.fpgaDesign = config.fpgaDesign.c_str();
    how.versionFromEeprom = true;
    fwmodel::powerOn(s.powered.board, how);
    s.unplugged = 0;
    std::snprintf(s.instance, sizeof s.instance, "%s", config.instance.c_str());
}

SharedBoard::Lock::Lock(SharedBoard& board) : m_mutex(&board.m_state->lock)
{
    if (pthread_mutex_lock(m_mutex) != EOWNERDEAD)
        return;
    // The last holder died in a call: a page write it left half done is
    // undone; the EEPROM stays marked changed until its file is written.
    pthread_mutex_consistent(m_mutex);
    fwmodel::undoTornPageWrite(board.board().eeprom);
}

SharedBoard::Lock::~Lock() { pthread_mutex_unlock(m_mutex); }

}  // namespace kousb::sim
