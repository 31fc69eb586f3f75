#include "transfer/SysExAssembler.h"

namespace velomire::transfer {

void SysExAssembler::Feed(std::span<const std::uint8_t> bytes,
                          const std::function<void(std::span<const std::uint8_t>)>& message) {
    Take(bytes, [&message](const SysExPiece& piece) {
        if (piece.closes && !piece.cut) {
            message(piece.bytes);
        }
    });
}

void SysExAssembler::FeedPieces(std::span<const std::uint8_t> bytes,
                                const std::function<void(const SysExPiece&)>& piece) {
    Take(bytes, piece);
    if (!inMessage || current.empty()) {
        return;
    }
    if (overflowed) {
        // A piece longer than the limit: the message is dropped as a whole one would be.
        Cut(piece);
        return;
    }
    piece({current, !opened, false, false});
    opened = true;
    current.clear();
}

void SysExAssembler::Take(std::span<const std::uint8_t> bytes,
                          const std::function<void(const SysExPiece&)>& piece) {
    for (std::uint8_t b : bytes) {
        if (b >= 0xF8) {
            continue; // real-time: may come between any two bytes
        }
        if (b == 0xF0) {
            if (inMessage) {
                Cut(piece);
            }
            current.assign(1, b);
            inMessage = true;
            overflowed = false;
            opened = false;
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
                if (overflowed) {
                    Cut(piece);
                } else {
                    inMessage = false;
                    piece({current, !opened, true, false});
                    current.clear();
                }
            }
            continue;
        }
        // Another status byte: the message was cut off.
        Cut(piece);
    }
}

void SysExAssembler::Cut(const std::function<void(const SysExPiece&)>& piece) {
    ++dropped;
    if (opened) {
        piece({{}, false, true, true});
    }
    inMessage = false;
    opened = false;
    overflowed = false;
    current.clear();
}

void SysExAssembler::Reset() {
    current.clear();
    inMessage = false;
    overflowed = false;
    opened = false;
}

} // namespace velomire::transfer
