#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SimTime.h"

namespace vr7c::sim {

// Where the simulator listens on the network, as given on its command line.
struct ListenAddress {
    std::string host = "127.0.0.1";  // a numeric IPv4 or IPv6 address
    std::uint16_t port = 0;          // 0: any free port (the one taken is printed)
};

// Reads "HOST:PORT" or "[V6]:PORT"; nothing when it is no numeric address and port.
std::optional<ListenAddress> parseListenAddress(const std::string& text);
// True for 127.0.0.0/8 and ::1.
bool isLoopback(const std::string& host);

// The module reached over TCP, as through a box in front of its serial line: the listener opens
// the other end of the simulator's own pseudo-terminal, so that every byte still goes through
// the paced line and the Modbus slave, faults and bootloader included.
// - Raw: a serial device server. One client at a time (a second is turned away); the bytes
//   pass both ways unchanged; the line is opened while the client is connected and closed
//   when it goes, as a cable pulled.
// - ModbusTcp: a Modbus TCP to RTU gateway. Several clients; each request (MBAP header, unit id
//   as the station) becomes an RTU frame on the line, the answer goes back with the request's
//   transaction id; a unit that does not answer within the gateway time gets exception 0x0B.
//   A frame with a protocol id other than 0 or a length outside 2 to 254 closes that client.
class TcpListener {
public:
    enum class Mode : std::uint8_t { Raw, ModbusTcp };

    struct Options {
        Mode mode = Mode::Raw;
        ListenAddress address;
        std::string linePath;  // the pseudo-terminal's client side
        std::uint32_t baud = 57600;
        Micros gatewayTimeout = 500 * kMicrosPerMilli;
    };

    explicit TcpListener(Options options);
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds and listens. False with a message on failure.
    bool open(std::string* error);
    // The port listened on (valid after open()).
    std::uint16_t port() const { return port_; }

    // Serves clients until requestStop(). Call once, on any one thread.
    void run();
    void requestStop();

    static constexpr int kMaxGatewayClients = 8;

private:
    struct Client {
        int fd = -1;
        std::vector<std::uint8_t> in;
    };

    void serveRaw();
    void serveGateway();
    bool openLine();
    void closeLine();
    void acceptGatewayClient(std::vector<Client>& clients);
    // Answers every whole request the client has sent; false when the client must go.
    bool answerRequests(Client& client);
    std::vector<std::uint8_t> askLine(std::uint8_t unit, const std::uint8_t* pdu,
                                      std::size_t pduBytes);

    Options options_;
    int listenFd_ = -1;
    int lineFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
};

}  // namespace vr7c::sim
