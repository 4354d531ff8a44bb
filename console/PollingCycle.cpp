#include "PollingCycle.h"

#include <iterator>
#include <limits>

PollingCycle::TickAction PollingCycle::BeginTick() {
    if (RequestDue) {
        RequestDue = false;
        WaitTicks = 0;
        return TickAction::SendRequest;
    }
    ++WaitTicks;
    if (WaitTicks > kReplyTimeoutTicks) {
        RequestDue = true;
        return TickAction::GiveUp;
    }
    return TickAction::LookForReply;
}

bool PollingCycle::CountGoodReply() {
    // The count stops at its maximum instead of wrapping after years of polling.
    if (GoodPolls < std::numeric_limits<std::int32_t>::max()) {
        ++GoodPolls;
    }
    return GoodPolls <= kPanelLoadReplies;
}

void PollingCycle::FinishGoodReply() {
    LinkUp = true;
    RequestDue = true;
}

void PollingCycle::Connected() {
    RequestDue = true;
}

void PollingCycle::Disconnected() {
    LinkUp = false;
    GoodPolls = 0;
}

std::optional<TComPortBaudRate> BaudForIndex(int index) {
    static constexpr TComPortBaudRate kBauds[] = {br9600, br19200, br38400, br57600};
    if (index < 0 || index >= static_cast<int>(std::size(kBauds))) {
        return std::nullopt;
    }
    return kBauds[index];
}
