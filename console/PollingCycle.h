#pragma once

#include <cstdint>
#include <optional>

#include "ComTypes.h"
#include "RegisterNumbers.h"

// The polling state machine of the main window: one read request for registers 0 to 99
// outstanding at a time, a reply awaited for at most 20 ticks of 30 ms, the next request
// on the tick after a good reply. The window performs the actions this unit asks for.
class PollingCycle {
public:
    static constexpr int kTickIntervalMs = 30;
    static constexpr int kReplyTimeoutTicks = 20;
    static constexpr int kPanelLoadReplies = 4;
    static constexpr std::int32_t kRequestStart = Reg::kPollFirst;
    static constexpr std::int32_t kRequestCount = Reg::kPollCount;
    static constexpr std::uint8_t kRequestFunction = 3;

    // What one tick has to do after the state has been stepped.
    enum class TickAction : std::uint8_t {
        SendRequest,  // a request was due: send it now
        GiveUp,       // the reply did not come in time: the next tick sends again
        LookForReply  // still waiting: see whether a good reply has arrived
    };

    // Steps the state at the start of a tick.
    TickAction BeginTick();
    // Counts a good reply; true when the configuration panel is to be loaded from it.
    bool CountGoodReply();
    // Ends the handling of a good reply: the link is up and the next tick sends.
    void FinishGoodReply();

    // Connecting makes the first tick send, whatever was outstanding before.
    void Connected();
    // Disconnecting drops the link and the good-reply count; RequestDue and WaitTicks stay.
    void Disconnected();
    // Showing the main window restarts the good-reply count.
    void ResetGoodPolls() { GoodPolls = 0; }

    bool RequestDue = false;
    std::int32_t WaitTicks = 0;
    std::int32_t GoodPolls = 0;
    bool LinkUp = false;
};

// Driver speed for an index of the baud-rate list "9600", "19200", "38400", "57600";
// nothing for an index outside the list.
std::optional<TComPortBaudRate> BaudForIndex(int index);
