#include "TickClock.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

class SystemClock final : public TickClock {
public:
    SystemClock() { timer_.start(); }
    std::uint32_t tickCount() override { return static_cast<std::uint32_t>(timer_.elapsed()); }
    void sleep(std::uint32_t milliseconds) override { QThread::msleep(milliseconds); }

private:
    QElapsedTimer timer_;
};

}  // namespace

TickClock& systemClock() {
    static SystemClock clock;
    return clock;
}
