#include "transfer/WirePacer.h"

#include <algorithm>

namespace velomire::transfer {

WirePacer::WirePacer(WaitClock& clock, std::size_t aheadBytes, std::size_t eventBytes)
    : clock(clock), aheadBytes(std::max<std::size_t>(aheadBytes, 1)),
      eventBytes(std::clamp<std::size_t>(eventBytes, 1, this->aheadBytes)) {}

MidiStatus WirePacer::Write(std::span<const std::uint8_t> bytes, const Emit& emit,
                            const std::function<void()>& idle) {
    const auto ahead = midiWireTimePerByte * static_cast<std::int64_t>(aheadBytes);
    for (std::size_t offset = 0; offset < bytes.size(); offset += eventBytes) {
        const auto event = bytes.subspan(offset, std::min(eventBytes, bytes.size() - offset));
        const auto eventTime = midiWireTimePerByte * static_cast<std::int64_t>(event.size());
        wireFreeAt = std::max(wireFreeAt, clock.Now());
        // The event may go once the bytes before it, and it, are at most `ahead` of the wire.
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(
            wireFreeAt + eventTime - ahead - clock.Now());
        SleepFor(clock, wait, idle);
        if (MidiStatus status = emit(event); !status) {
            return status;
        }
        wireFreeAt += eventTime;
    }
    return {};
}

} // namespace velomire::transfer
