#pragma once

#include <cstdint>

// Where the protocol code above the port reports its traffic: each frame it hands to the port
// and, when it judges what came back, the bytes it judged. The line's diagnostics implement
// it; a client that records nothing installs no tap (a null pointer), so the protocol code
// pays one test per frame.
class TrafficTap {
public:
    virtual ~TrafficTap() = default;
    // One frame handed to the port.
    virtual void FrameSent(const std::uint8_t* bytes, int count) = 0;
    // Further bytes of the frame just sent, when a frame goes out in several pieces.
    virtual void FrameContinued(const std::uint8_t* bytes, int count) = 0;
    // What had arrived when the reply to the last frame was judged, and whether it was taken.
    virtual void ReplyJudged(const std::uint8_t* bytes, int count, bool taken) = 0;
    // A register write ended: written or given up after this many attempts.
    virtual void WriteFinished(int attempts, bool written) = 0;
};
