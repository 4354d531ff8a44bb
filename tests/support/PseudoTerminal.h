#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The master side of a raw pseudo-terminal, for tests that put a real device under the
// QSerialPort-backed port.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool valid() const { return master_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }

    void write(const std::vector<std::uint8_t>& bytes);
    // Reads what the slave side sent, waiting up to timeoutMs for the first byte and then
    // until `count` bytes have come or the line stays quiet for 20 ms.
    std::vector<std::uint8_t> read(std::size_t count, int timeoutMs);
    // The baud rate the slave side last set (its termios speed code); pseudo-terminals keep
    // the rate but not the frame format.
    unsigned speedCode() const;
    // Closes the master: the slave side sees a hang-up.
    void close();

private:
    int master_ = -1;
    std::string slavePath_;
};
