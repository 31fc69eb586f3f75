#include "transfer/SysExAssembler.h"

namespace velomire::transfer {

void SysExAssembler::Feed(std::span<const std::uint8_t> bytes,
                          const std::function<void(std::span<const std::uint8_t>)>& message) {
    for (std::uint8_t b : bytes) {
        if (b >= 0xF8) {
            continue; // real-time: may come between any two bytes
        }
        if (b == 0xF0) {
            if (inMessage) {
                ++dropped;
            }
            current.assign(1, b);
            inMessage = true;
            overflowed = false;
            continue;
        }
        if (!inMessage) {
            continue;
        }
        if (b < 0x80 || b == 0xF7) {
            if (!overflowed && current.size() < limit) {
                current.push_back(b);
            } else {
                overflowed = true;
            }
            if (b == 0xF7) {
                inMessage = false;
                if (overflowed) {
                    ++dropped;
                } else {
                    message(current);
                }
                current.clear();
            }
            continue;
        }
        // Another status byte: the message was cut off.
        ++dropped;
        inMessage = false;
        current.clear();
    }
}

void SysExAssembler::Reset() {
    current.clear();
    inMessage = false;
    overflowed = false;
}

} // namespace velomire::transfer
