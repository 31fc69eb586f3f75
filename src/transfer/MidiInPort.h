#pragma once

#include "transfer/MidiInDriver.h"
#include "transfer/SysExAssembler.h"
#include "transfer/WaitClock.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velomire::transfer {

// One whole System Exclusive message from the sampler and the time its first piece arrived; in
// pieces mode (MidiInPort::SetPieces) a piece of one, with the time that piece arrived.
struct MidiInMessage {
    std::vector<std::uint8_t> bytes;
    WaitClock::TimePoint time{};
    bool opens = true;  // starts with the message's F0
    bool closes = true; // ends with its F7
    bool cut = false;   // the message was cut short or lost here: its earlier pieces are void
};

// The path back from the sampler: opens an input port for the length of one send and delivers
// what the sampler answers as whole System Exclusive messages, in the order they came (up to
// 64 KB each; anything else on the port is passed over). Waiting for a message sleeps in slices
// of at most 1 ms and runs the idle hook, so the user interface stays painted. A device that
// sends faster than the send reads keeps at most queueLimit messages (queueBytes bytes) waiting;
// the excess is dropped and counted in Lost().
//
// A receiver that must answer a long message while it arrives (the S900 sample dump, one message
// of many blocks, each acknowledged before the next comes) turns on pieces mode: each message is
// then handed out in pieces as they come off the driver, and the port keeps none of it.
class MidiInPort {
public:
    static constexpr std::chrono::microseconds pollInterval{1000};
    static constexpr std::size_t queueLimit = 1024;
    static constexpr std::size_t queueBytes = std::size_t{1} << 20;

    MidiInPort(MidiInDriver& driver, WaitClock& clock,
               std::size_t messageLimit = SysExAssembler::defaultLimit);
    ~MidiInPort();
    MidiInPort(const MidiInPort&) = delete;
    MidiInPort& operator=(const MidiInPort&) = delete;

    std::vector<std::string> PortNames() { return driver.PortNames(); }
    MidiStatus Open(int deviceId);
    void Close();
    bool IsOpen() const { return isOpen; }
    // True when nothing more can come: the port is closed or its driver says it has gone.
    bool Ended() const { return !isOpen || driver.Gone(); }

    // The next message, waiting for it at most until `deadline`. Once the deadline has passed,
    // only a message that arrived by then is given, however many more keep coming; a wait ends
    // with nothing as soon as the stop check answers true.
    std::optional<MidiInMessage> Receive(WaitClock::TimePoint deadline);
    std::optional<MidiInMessage> Receive(std::chrono::microseconds timeout) {
        return Receive(clock.Now() + timeout);
    }
    WaitClock::TimePoint Now() { return clock.Now(); }
    // Forgets what has arrived so far (before a transfer begins, answers to nothing we sent).
    void Discard();
    // Pieces mode on or off; a message in progress is forgotten. Whole messages are delivered as
    // one piece that opens and closes, so a caller that only reads whole messages gets the same.
    // False, and whole messages as before, when the driver cannot hand over bytes as they come.
    bool SetPieces(bool on);
    bool Pieces() const { return pieces; }

    void SetIdleHook(std::function<void()> hook) { idleHook = std::move(hook); }
    // A wait ends early, with nothing, once this returns true (the user cancelled the send), or
    // once the driver says its port is gone.
    void SetStopCheck(std::function<bool()> check) { stopCheck = std::move(check); }
    // Messages lost: cut short, longer than the limit, or overrun in the driver.
    std::size_t Lost() const { return lost + assembler.Dropped(); }
    // The driver's last complaint (an overrun, a port that went away); empty if none.
    const std::string& LastError() const { return lastError; }

private:
    void Collect();
    // Runs the idle hook, at most once a poll interval while messages keep coming.
    void Idle(WaitClock::TimePoint now);

    MidiInDriver& driver;
    WaitClock& clock;
    SysExAssembler assembler;
    std::function<void()> idleHook;
    std::function<bool()> stopCheck;
    std::deque<MidiInMessage> queue;
    std::size_t queuedBytes = 0;
    WaitClock::TimePoint lastIdle{};
    std::vector<MidiInBytes> arrived;
    WaitClock::TimePoint messageTime{}; // arrival of the F0 of the message in progress
    bool pieces = false;
    bool droppingPieces = false; // a piece of the message in progress did not fit in the queue
    bool isOpen = false;
    std::size_t lost = 0;
    std::string lastError;
};

} // namespace velomire::transfer
