// Feeds arbitrary bytes to the WAV reader as a file image: it must refuse or serve frames without
// touching memory it does not own, dividing by zero, or serving sound past its data chunk.

#include "program/WavInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class SilentMessages : public velomire::program::UserMessages {
public:
    void Show(std::string_view, std::string_view) override {}
};

// Keeps one input's work bounded when its header promises millions of frames.
constexpr std::uint32_t maxFrames = 1000000;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilentMessages messages;
    velomire::program::WavInfo wav(messages);
    const bool opened = wav.OpenBytes("fuzz.wav", std::vector<std::uint8_t>(data, data + size));

    // Derived values are shown for refused files too.
    volatile double seconds = wav.Seconds();
    volatile std::uint32_t derived = wav.PeriodNs() + wav.FrameCount() + wav.S900Shift();
    (void)seconds;
    (void)derived;

    if (!opened) {
        Check(!wav.IsOpen());
        return 0;
    }
    Check(wav.Bits() == 16 && (wav.Channels() == 1 || wav.Channels() == 2) && wav.Rate() != 0);
    Check(wav.DataOffset() + wav.DataBytes() <= size);

    const std::uint32_t frames = wav.FrameCount();
    const std::uint32_t bounded = frames < maxFrames / 4 ? frames : maxFrames / 4;
    for (int part = 0; part <= 4; ++part) {
        wav.Seek(0);
        for (std::uint32_t i = 0; i < bounded; ++i) {
            (void)wav.ReadFrame(part);
        }
    }

    // Positions taken from the input itself, so the fuzzer steers them to block edges and ends.
    std::uint32_t fromInput = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i) {
        fromInput = fromInput << 8 | data[size - 1 - i];
    }
    for (const std::uint32_t frame : {frames, frames - 1, frames / 2, fromInput}) {
        wav.Seek(frame);
        for (std::uint32_t i = 0; i < 3; ++i) {
            const std::int32_t value = wav.ReadFrame(static_cast<int>(i));
            // Nothing past the data chunk is ever sound.
            if (std::uint64_t{frame} + i >= frames) {
                Check(value == 0);
            }
        }
    }
    wav.Close();
    Check(!wav.IsOpen() && wav.ReadFrame(0) == 0);
    return 0;
}
