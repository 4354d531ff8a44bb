#pragma once

#include <cstdint>
#include <optional>

// When the driver reads next from a port that can report arrivals. A reply streaming in at
// the line's pace would otherwise wake the program once every poll period until it ends (a
// 205-byte reply at 57600 baud: eight wake-ups). Replies on one line mostly repeat their
// length, so the pace remembers how long the last burst of bytes was and, once a new one
// starts, reads again only when the rest of that many bytes can have arrived: two wake-ups a
// reply, or one when the burst answers something the driver sent, since it cannot be complete
// before the request and the reply have passed on the line. A burst longer than the one before is
// read every poll period until it ends, as is every burst while nothing is known yet. Bytes land in
// RxBuffer no later than the unbroken poll would have put them there, give or take one millisecond.
//
// Pure logic, fed with the tick count and the bytes of each read.
class ReceivePace {
public:
    // Longest burst remembered: longer ones are noise, and waiting for them would let the
    // system's input queue fill.
    static constexpr std::uint32_t kLongestBurst = 1024;

    // After a read: sleep until the port reports an arrival, or read again after `ms`.
    struct Next {
        bool sleep = false;
        std::uint32_t ms = 0;
        bool operator==(const Next&) const = default;
    };

    // Starts afresh (port opened): nothing known about bursts yet.
    void Start(std::uint32_t periodMs, std::uint32_t characterMicros);
    // The line's rate changed while open.
    void SetCharacterMicros(std::uint32_t characterMicros) { characterMicros_ = characterMicros; }

    // The driver sent `bytes` at tick `now`: what answers them is a new burst, complete at the
    // earliest once they and the remembered length have passed on the line, and read then, or
    // as long after sending as the last answer took to come whole, up to a poll period more.
    // Gives when to read, or nothing while no length is known (the driver goes on as it was).
    std::optional<Next> Sent(std::uint32_t now, std::uint32_t bytes);
    // The driver sent `bytes` at tick `now`, and its client knows the answer to be
    // `answerBytes` long but not how long the peer takes: it is read once it can have passed
    // on the line, and after that as soon as it arrives.
    Next Awaiting(std::uint32_t now, std::uint32_t bytes, std::uint32_t answerBytes);
    // The port reported an arrival after a quiet spell, and the read that followed brought
    // `bytes` at tick `now`.
    Next Arrived(std::uint32_t now, std::uint32_t bytes);
    // A timed read brought `bytes` at tick `now`.
    Next Read(std::uint32_t now, std::uint32_t bytes);

private:
    Next Took(std::uint32_t now, std::uint32_t bytes);
    Next AfterCharacters(std::uint32_t characters) const;
    void EndBurst();
    Next Period() const { return {false, periodMs_}; }

    std::uint32_t periodMs_ = 5;
    std::uint32_t characterMicros_ = 0;
    std::uint32_t learned_ = 0;  // length of the last burst; 0 while none has ended
    std::uint32_t burst_ = 0;    // bytes of the burst under way
    std::uint32_t lastBytesAt_ = 0;
    bool overrun_ = false;  // the burst under way has outgrown the last one

    // The answer to bytes sent: whether it is awaited, and whether the first read after
    // sending found it whole; how long the last one took to come whole when it did not.
    enum class Answer : std::uint8_t { None, FirstRead, LaterRead };
    Answer answer_ = Answer::None;
    std::uint32_t sentAt_ = 0;
    std::uint32_t onLineMs_ = 0;
    std::uint32_t answerMs_ = 0;
};
