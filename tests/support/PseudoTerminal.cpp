#include "PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

PseudoTerminal::PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        close();
        return;
    }
    termios t{};
    if (::tcgetattr(master_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
    }
    const char* name = ::ptsname(master_);
    slavePath_ = name ? name : "";
}

PseudoTerminal::~PseudoTerminal() {
    close();
}

void PseudoTerminal::write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const auto n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> PseudoTerminal::read(std::size_t count, int timeoutMs) {
    std::vector<std::uint8_t> out;
    int wait = timeoutMs;
    while (master_ >= 0 && out.size() < count) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, wait) <= 0 || !(p.revents & POLLIN)) {
            break;
        }
        std::uint8_t buffer[512];
        const auto n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        out.insert(out.end(), buffer, buffer + n);
        wait = 20;
    }
    return out;
}

unsigned PseudoTerminal::speedCode() const {
    termios t{};
    return ::tcgetattr(master_, &t) == 0 ? static_cast<unsigned>(::cfgetospeed(&t)) : 0;
}

void PseudoTerminal::close() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}
