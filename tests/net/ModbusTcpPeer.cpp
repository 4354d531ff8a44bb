// A Modbus TCP server built on libmodbus, as a far end nobody here wrote: holding registers 0
// to 99 hold 1000 + n, unit id UNIT (first argument) is answered, any other unit gets the
// gateway exception 0x0B. Listens on 127.0.0.1 at a free port and prints it on the first line.
#include <modbus.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int unit = argc > 1 ? std::atoi(argv[1]) : 1;
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", 0);
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 100, 0);
    if (ctx == nullptr || map == nullptr) {
        return 1;
    }
    for (int n = 0; n < 100; ++n) {
        map->tab_registers[n] = static_cast<std::uint16_t>(1000 + n);
    }
    const int server = modbus_tcp_listen(ctx, 4);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (server < 0 || getsockname(server, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        return 1;
    }
    std::printf("%u\n", ntohs(bound.sin_port));
    std::fflush(stdout);
    fd_set open;
    FD_ZERO(&open);
    FD_SET(server, &open);
    int highest = server;
    std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
        fd_set ready = open;
        if (select(highest + 1, &ready, nullptr, nullptr, nullptr) < 0) {
            return 1;
        }
        for (int fd = 0; fd <= highest; ++fd) {
            if (!FD_ISSET(fd, &ready)) {
                continue;
            }
            if (fd == server) {
                const int client = accept(server, nullptr, nullptr);
                if (client >= 0) {
                    FD_SET(client, &open);
                    highest = client > highest ? client : highest;
                }
                continue;
            }
            modbus_set_socket(ctx, fd);
            const int got = modbus_receive(ctx, query);
            if (got > 0 && query[6] != unit) {
                modbus_reply_exception(ctx, query, MODBUS_EXCEPTION_GATEWAY_TARGET);
            } else if (got > 0) {
                modbus_reply(ctx, query, got, map);
            } else if (got < 0) {
                close(fd);
                FD_CLR(fd, &open);
            }
        }
    }
}
