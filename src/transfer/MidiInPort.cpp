#include "transfer/MidiInPort.h"

#include <algorithm>

namespace velomire::transfer {

MidiInPort::MidiInPort(MidiInDriver& driver, WaitClock& clock, std::size_t messageLimit)
    : driver(driver), clock(clock), assembler(messageLimit) {}

MidiInPort::~MidiInPort() {
    Close();
}

MidiStatus MidiInPort::Open(int deviceId) {
    Close();
    if (deviceId < 0) {
        return MidiStatus::Error("No MIDI input port is chosen.");
    }
    MidiStatus status = driver.Open(static_cast<unsigned>(deviceId));
    isOpen = status.ok;
    return status;
}

void MidiInPort::Close() {
    if (isOpen) {
        driver.Close();
        isOpen = false;
    }
    Discard();
}

void MidiInPort::Discard() {
    if (isOpen) {
        Collect();
    }
    queue.clear();
    queuedBytes = 0;
    assembler.Reset();
    droppingPieces = false;
}

bool MidiInPort::SetPieces(bool on) {
    const bool ok = driver.SetPieces(on);
    if (on && !ok) {
        driver.SetPieces(false);
    }
    if (pieces != (on && ok)) {
        pieces = on && ok;
        assembler.Reset();
        droppingPieces = false;
    }
    return ok;
}

void MidiInPort::Collect() {
    arrived.clear();
    if (MidiStatus status = driver.Poll(arrived); !status) {
        lastError = status.text;
        ++lost;
    }
    const auto push = [this](std::span<const std::uint8_t> message) {
        if (queue.size() >= queueLimit || queuedBytes + message.size() > queueBytes) {
            ++lost;
            return;
        }
        queuedBytes += message.size();
        queue.push_back({{message.begin(), message.end()}, messageTime});
    };
    // Pieces: once one is dropped, the rest of its message is dropped too and, room permitting,
    // its end is handed out as a cut piece, so a reader never takes a message with a hole in it
    // for whole (Lost() counts it in any case).
    WaitClock::TimePoint pieceTime{};
    const auto pushPiece = [this, &pieceTime](const SysExPiece& piece) {
        if (piece.opens) {
            droppingPieces = false;
        }
        if (droppingPieces && !piece.closes) {
            return;
        }
        const bool cut = piece.cut || droppingPieces;
        const bool full =
            queue.size() >= queueLimit || queuedBytes + piece.bytes.size() > queueBytes;
        if (full && !cut) {
            ++lost;
            droppingPieces = !piece.closes;
            return;
        }
        if (full) {
            droppingPieces = false;
            return;
        }
        droppingPieces = false;
        queuedBytes += cut ? 0 : piece.bytes.size();
        MidiInMessage message{{}, pieceTime, piece.opens, piece.closes, cut};
        if (!cut) {
            message.bytes.assign(piece.bytes.begin(), piece.bytes.end());
        }
        queue.push_back(std::move(message));
    };
    for (const MidiInBytes& piece : arrived) {
        // Fed run by run, each starting at an F0, so a message is timed by the piece its F0 came
        // in: when the sampler began to answer.
        std::span<const std::uint8_t> rest(piece.bytes);
        while (!rest.empty()) {
            if (rest.front() == 0xF0) {
                messageTime = piece.time;
            }
            const auto next = std::find(rest.begin() + 1, rest.end(), std::uint8_t{0xF0});
            const auto count = static_cast<std::size_t>(next - rest.begin());
            if (pieces) {
                pieceTime = piece.time;
                assembler.FeedPieces(rest.first(count), pushPiece);
            } else {
                assembler.Feed(rest.first(count), push);
            }
            rest = rest.subspan(count);
        }
    }
}

std::optional<MidiInMessage> MidiInPort::Receive(WaitClock::TimePoint deadline) {
    if (!isOpen) {
        return std::nullopt;
    }
    for (;;) {
        Collect();
        const auto now = clock.Now();
        // Also while messages keep coming: the hook is where a signal becomes a cancel.
        if (!queue.empty() && now - lastIdle >= pollInterval) {
            Idle(now);
        }
        if (stopCheck && stopCheck()) {
            return std::nullopt;
        }
        if (!queue.empty() && (now < deadline || queue.front().time <= deadline)) {
            MidiInMessage message = std::move(queue.front());
            queue.pop_front();
            queuedBytes -= message.bytes.size();
            return message;
        }
        if (now >= deadline || driver.Gone()) {
            return std::nullopt;
        }
        Idle(now);
        clock.SleepUntil(std::min<WaitClock::TimePoint>(deadline, now + pollInterval));
    }
}

void MidiInPort::Idle(WaitClock::TimePoint now) {
    lastIdle = now;
    if (idleHook) {
        idleHook();
    }
}

} // namespace velomire::transfer
