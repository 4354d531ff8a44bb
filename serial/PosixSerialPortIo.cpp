#include "PosixSerialPortIo.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include "PortPath.h"

namespace {

constexpr const char* kLockDirectory = "/var/lock";
// A lock file whose first line names no process is taken as being written by its owner for
// this long; after that it is left over from a crash and removed.
constexpr std::time_t kUnreadableLockGraceSeconds = 10;

// The termios code of a baud rate; B0 for a rate the terminal interface has no code for.
speed_t SpeedCode(std::uint32_t baud) {
    switch (baud) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

tcflag_t SizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// The process id on the first line of a lock file (the UUCP "%10d\n" layout and QLockFile's
// "pid\nname\nhost\n" both start so); 0 when the file holds none, -1 when it has gone.
long LockOwner(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? -1 : 0;
    }
    char text[64] = {};
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0) {
        return 0;
    }
    const long pid = std::strtol(text, nullptr, 10);
    return pid > 0 ? pid : 0;
}

bool ProcessAlive(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool RecentlyWritten(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 &&
           std::time(nullptr) - info.st_mtime < kUnreadableLockGraceSeconds;
}

// "pid\nprogram\nhost\n": QLockFile checks the program name against the process's own
// executable before it takes a lock as stale, so the name is that of our executable.
std::string LockFileText() {
    char exe[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string program = length > 0 ? std::string(exe, static_cast<std::size_t>(length)) : "";
    program = program.substr(program.rfind('/') + 1);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return std::to_string(::getpid()) + "\n" + program + "\n" + host + "\n";
}

bool PeerHungUp(int fd) {
    pollfd state{fd, POLLIN, 0};
    return ::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

PosixSerialPortIo::~PosixSerialPortIo() {
    close();
}

std::string PosixSerialPortIo::LockFilePath(const std::string& devicePath) {
    std::string name = devicePath;
    if (name.rfind("/dev/", 0) == 0) {
        name.erase(0, 5);
    }
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return std::string(kLockDirectory) + "/LCK.." + name;
}

bool PosixSerialPortIo::open(const char* portName) {
    close();
    hungUp_ = false;
    openError_ = 0;
    busyOwner_ = 0;
    const QByteArray path = QFile::encodeName(SerialDevicePath(portName));
    // The lock is named after the device itself, so that a link to it (/dev/serial/by-id/…)
    // and the device's own name lock the same port.
    char device[PATH_MAX] = {};
    if (::realpath(path.constData(), device) == nullptr) {
        return failOpen(errno);
    }
    if (!takeLock(LockFilePath(device))) {
        return false;
    }
    fd_ = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        return failOpen(errno);
    }
    if (::ioctl(fd_, TIOCEXCL) != 0) {
        return failOpen(errno);
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        return failOpen(errno == EWOULDBLOCK ? EBUSY : errno);
    }
#ifdef __linux__
    // USB adapters hold received bytes up to their latency timer (16 ms by default) unless
    // asked for low latency. Devices that refuse (pseudo-terminals) are left as they are.
    serial_struct info{};
    if (::ioctl(fd_, TIOCGSERIAL, &info) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd_, TIOCSSERIAL, &info);
    }
#endif
    return true;
}

bool PosixSerialPortIo::takeLock(const std::string& lockPath) {
    // Two rounds: a lock left by a process that has gone is removed once and taken again.
    for (int round = 0; round < 2; ++round) {
        const int fd = ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const std::string text = LockFileText();
            const bool written =
                ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            ::close(fd);
            if (!written) {
                ::unlink(lockPath.c_str());
                return failOpen(EIO);
            }
            lockPath_ = lockPath;
            return true;
        }
        if (errno != EEXIST) {
            // No lock directory, or one this user may not write: the descriptor's own locks
            // still keep other programs out.
            return true;
        }
        const long owner = LockOwner(lockPath);
        if (owner > 0 && ProcessAlive(owner)) {
            busyOwner_ = owner;
            return failOpen(EBUSY);
        }
        if (owner == 0 && RecentlyWritten(lockPath)) {
            return failOpen(EBUSY);
        }
        if (owner != -1) {
            ::unlink(lockPath.c_str());
        }
    }
    return failOpen(EBUSY);
}

void PosixSerialPortIo::releaseLock() {
    if (!lockPath_.empty() && LockOwner(lockPath_) == ::getpid()) {
        ::unlink(lockPath_.c_str());
    }
    lockPath_.clear();
}

bool PosixSerialPortIo::failOpen(int error) {
    close();
    openError_ = error;
    return false;
}

void PosixSerialPortIo::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    releaseLock();
}

void PosixSerialPortIo::hangUp() {
    // The device has gone: it is let go at once, so that an adapter plugged in again gets its
    // old name and the lock is free for it.
    hungUp_ = true;
    close();
}

bool PosixSerialPortIo::setLineSettings(const LineSettings& s) {
    termios tio{};
    if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) {
        return false;
    }
    // Raw bytes both ways; received parity errors go undetected (no INPCK).
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    tio.c_cflag |= CLOCAL | CREAD | SizeFlag(s.byteSize);
    bool ok = true;
    switch (s.parity) {
        case 0:
            break;
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
#ifdef CMSPAR
        case 3:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
#endif
        default:
            ok = false;
            break;
    }
    // One and a half stop bits exist only with 5 data bits, where CSTOPB means just that.
    if (s.stopBits == 2 || (s.stopBits == 1 && s.byteSize == 5)) {
        tio.c_cflag |= CSTOPB;
    } else if (s.stopBits == 1) {
        ok = false;
    }
    if (s.ctsOutputFlow || s.rtsHandshake) {
        tio.c_cflag |= CRTSCTS;
    }
    if (s.xonXoffOutput) {
        tio.c_iflag |= IXON;
    }
    if (s.xonXoffInput) {
        tio.c_iflag |= IXOFF;
    }
    tio.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
    // With the descriptor non-blocking, a read of an empty queue then fails with EAGAIN at
    // once, and a read of 0 bytes is kept for a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    // A rate without a code keeps the one in force and is reported.
    const speed_t speed = SpeedCode(s.baudRate);
    if (speed != B0) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
    } else {
        ok = false;
    }
    ok = ::tcsetattr(fd_, TCSANOW, &tio) == 0 && ok;
    // Opening a tty may raise DTR and RTS by itself: put both where the control modes say.
    // Pseudo-terminals have no modem lines; that is carried on past.
    ok = changeModemLine(s.dtrEnabled ? ModemLineChange::SetDtr : ModemLineChange::ClearDtr) && ok;
    if (!s.rtsHandshake) {
        ok = changeModemLine(ModemLineChange::ClearRts) && ok;
    }
    return ok;
}

bool PosixSerialPortIo::setQueueSizes(std::uint16_t, std::uint16_t) {
    // The kernel sizes its own queues.
    return isOpen();
}

bool PosixSerialPortIo::setTimeouts(const CommTimeouts&) {
    // Reads never wait here and writes are handed over whole, which is what the driver asks.
    return isOpen();
}

bool PosixSerialPortIo::purge(std::uint32_t flags) {
    if (fd_ < 0) {
        return false;
    }
    const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (!input && !output) {
        return true;
    }
    const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(fd_, queue) == 0;
}

bool PosixSerialPortIo::changeModemLine(ModemLineChange change) {
    if (fd_ < 0) {
        return false;
    }
    const bool dtr = change == ModemLineChange::SetDtr || change == ModemLineChange::ClearDtr;
    const bool raise = change == ModemLineChange::SetDtr || change == ModemLineChange::SetRts;
    const int line = dtr ? TIOCM_DTR : TIOCM_RTS;
    return ::ioctl(fd_, raise ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

std::uint32_t PosixSerialPortIo::outputQueueLength() {
    int waiting = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &waiting) != 0 || waiting < 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(waiting);
}

std::int64_t PosixSerialPortIo::write(const std::uint8_t* data, std::int64_t count) {
    if (fd_ < 0) {
        return -1;
    }
    const ssize_t written = ::write(fd_, data, static_cast<std::size_t>(count));
    if (written >= 0) {
        return written;
    }
    if (errno == EAGAIN || errno == EINTR) {
        return 0;
    }
    hangUp();
    return -1;
}

bool PosixSerialPortIo::waitForInput(std::uint32_t milliseconds) {
    if (fd_ < 0) {
        return false;
    }
    pollfd state{fd_, POLLIN, 0};
    return ::poll(&state, 1, static_cast<int>(milliseconds)) > 0;
}

std::int64_t PosixSerialPortIo::read(std::uint8_t* buffer, std::int64_t maxCount) {
    if (fd_ < 0) {
        return -1;
    }
    const ssize_t got = ::read(fd_, buffer, static_cast<std::size_t>(maxCount));
    if (got > 0) {
        return got;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
    }
    // A tty that was never given line settings reads 0 bytes when nothing has arrived; only
    // a hang-up says so in its poll state. EIO is how a pseudo-terminal reports that its other
    // end closed.
    if (got == 0 && !PeerHungUp(fd_)) {
        return 0;
    }
    hangUp();
    return -1;
}
