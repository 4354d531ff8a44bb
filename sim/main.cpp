// vr7c-sim: the simulated VR7C-20NP module on a pseudo-terminal or a serial device.

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "SimRunner.h"
#include "Stm32Bootloader.h"

using namespace vr7c::sim;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const CommandLine commandLine = parseCommandLine(args);
    if (commandLine.help) {
        std::cout << usageText();
        return 0;
    }
    if (!commandLine.error.empty()) {
        std::cerr << "vr7c-sim: " << commandLine.error << "\n"
                  << "Try 'vr7c-sim --help' for more information.\n";
        return 2;
    }
    SimOptions options = commandLine.options;
    // The module's microcontroller answers a lone 0x7F with its STM32 system bootloader.
    options.bootloaderFactory = [] { return std::make_unique<Stm32Bootloader>(); };

    // SIGINT and SIGTERM are taken with sigwait below; blocked before the line thread starts,
    // so that thread inherits the mask and never sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    SimRunner runner(options);
    std::string error;
    if (!runner.start(&error)) {
        std::cerr << "vr7c-sim: " << error << "\n";
        return 1;
    }
    std::cout << runner.path() << std::endl;
    if (runner.tcpPort() != 0) {
        // The second line: where the network side listens, with the port actually taken.
        const ListenAddress& at = options.tcp ? *options.tcp : *options.modbusTcp;
        const bool v6 = at.host.find(':') != std::string::npos;
        std::cout << (options.tcp ? "tcp://" : "modbus-tcp://") << (v6 ? "[" : "") << at.host
                  << (v6 ? "]" : "") << ":" << runner.tcpPort() << std::endl;
    }
    std::cerr << "vr7c-sim: station " << int{options.station}
              << (options.plcCan ? ", PLC-CAN bridge (addresses 2200..2299)" : "")
              << ", pacing baud " << options.baud << " unless the line sets one, latency "
              << static_cast<double>(options.latency) / kMicrosPerMilli << " ms"
              << (options.link.empty() ? "" : ", link " + options.link) << "\n";

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    runner.stop();

    const SimCounters counters = runner.counters();
    std::cerr << "vr7c-sim: stopped on signal " << signal << "; " << counters.requestsSeen()
              << " requests, " << counters.repliesSent() << " replies, "
              << counters.faultsInjected() << " faults injected\n";
    return 0;
}
