// The vr7c-sim program: the path on the first line, a clean end on SIGTERM, exit 2 on bad
// arguments.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "SimTestSupport.h"

extern char** environ;

namespace vr7c::sim::test {
namespace {

// A running vr7c-sim with its standard output and error on pipes.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2];
        int err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<std::string> all = {VR7C_SIM_EXECUTABLE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, VR7C_SIM_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // The first line of standard output, without its newline.
    std::string firstLine(int timeoutMs) {
        std::string line;
        const Micros end = monotonicNow() + timeoutMs * kMicrosPerMilli;
        while (monotonicNow() < end) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            char c = 0;
            if (::read(out_, &c, 1) != 1) {
                break;
            }
            if (c == '\n') {
                return line;
            }
            line += c;
        }
        return "(no line: " + line + ")";
    }

    // Waits for the end; gives the exit status, or -1 after the time-out.
    int wait(int timeoutMs) {
        const Micros end = monotonicNow() + timeoutMs * kMicrosPerMilli;
        while (monotonicNow() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::usleep(10'000);
        }
        return -1;
    }

    std::string errorText() {
        std::string text;
        char buffer[512];
        ::fcntl(err_, F_SETFL, O_NONBLOCK);
        ssize_t n = 0;
        while ((n = ::read(err_, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

TEST(Cli, PrintsThePathOnLine1AndEndsCleanlyOnSigterm) {
    const std::string link = ::testing::TempDir() + "vr7c-cli-" + std::to_string(::getpid());
    SimProcess sim({"--link", link, "--station", "2", "--reg", "98=6666"});
    ASSERT_TRUE(sim.started());
    const std::string path = sim.firstLine(5000);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

    ClientPort client;
    ASSERT_TRUE(client.open(link, 57600));
    ASSERT_TRUE(client.write(readRequest(2, 98, 1)));
    EXPECT_EQ(hex(client.read(7, kMicrosPerSecond)), hex(withCrc({2, 3, 2, 0x1A, 0x0A})));
    client.close();

    ASSERT_EQ(::kill(sim.pid(), SIGTERM), 0);
    EXPECT_EQ(sim.wait(5000), 0);
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "link left behind";
}

TEST(Cli, EndsCleanlyOnSigintWhileAClientHoldsTheLine) {
    SimProcess sim({});
    ASSERT_TRUE(sim.started());
    const std::string path = sim.firstLine(5000);
    ClientPort client;
    ASSERT_TRUE(client.open(path, 57600));
    ASSERT_EQ(::kill(sim.pid(), SIGINT), 0);
    EXPECT_EQ(sim.wait(5000), 0);
}

TEST(Cli, InvalidArgumentsExitWith2AndAMessage) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--station", "300"}, {"--fault", "gremlins"}, {"--bogus"}}) {
        SimProcess sim(args);
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(sim.wait(5000), 2) << args[0];
        const std::string text = sim.errorText();
        EXPECT_NE(text.find("vr7c-sim:"), std::string::npos) << text;
    }
}

TEST(Cli, HelpExitsWith0) {
    SimProcess sim({"--help"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.firstLine(5000).rfind("Usage: vr7c-sim", 0), 0u);
    EXPECT_EQ(sim.wait(5000), 0);
}

TEST(Cli, MissingDeviceExitsWith1) {
    SimProcess sim({"--device", "/nonexistent/ttyX"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.wait(5000), 1);
    EXPECT_NE(sim.errorText().find("/nonexistent/ttyX"), std::string::npos);
}

}  // namespace
}  // namespace vr7c::sim::test
