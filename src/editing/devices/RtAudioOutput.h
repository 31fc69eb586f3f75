#pragma once

// Audio preview: the wave output device on RtAudio.
//
// Threading contract
// - UI thread: every public member function.
// - Audio thread (RtAudio's callback: the JACK process thread, or RtAudio's own thread for ALSA
//   and PulseAudio): rendering the queued blocks (BlockStream::Render) and the BlockFinished
//   handler. It takes no lock, allocates nothing and never waits for the UI thread.
// - Shared state: the BlockStream's std::atomic indices and counters only.

#include "editing/AudioOutput.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velomire::editing {

// Plays through RtAudio on any of the audio systems it was built with, in RtAudio's own order
// of preference (on Debian's RtAudio 5.2: JACK, PulseAudio, ALSA). The mono blocks go to the
// device's first two output channels (both get the same frames). A device that cannot run at the
// sample's rate (a JACK server, most hardware) runs at its own rate and the frames are converted.
class RtAudioOutput final : public AudioOutput {
public:
    // `api` is an RtAudio API name ("jack", "pulse", "alsa", "core", "wasapi", "ds", ...) to use
    // that system only; empty for every system RtAudio was built with. The JACK client (or
    // PulseAudio stream) is named `streamName`.
    explicit RtAudioOutput(std::string api = {}, std::string streamName = "Velomire");
    ~RtAudioOutput() override;
    RtAudioOutput(const RtAudioOutput&) = delete;
    RtAudioOutput& operator=(const RtAudioOutput&) = delete;

    // "<system>: <device>", e.g. "Jack: system", "ALSA: hw:HDA Intel PCH,0", for every device
    // with output channels, system by system.
    std::vector<std::string> DeviceNames() override;
    // The index refers to the last DeviceNames() list (taken now if there was none); the device
    // is found again by its system and name. defaultDevice opens the default output of the
    // first system that has devices.
    AudioStatus Open(int device, std::uint32_t rate) override;
    bool IsOpen() const override;
    // Waits (at most 500 ms) for a free place when the four places are still held by blocks a
    // Reset has dropped but the device has not yet let go of.
    AudioStatus Queue(std::uint64_t tag, std::span<const std::int16_t> frames) override;
    void Reset() override;
    std::uint64_t SamplesPlayed() const override;
    void Close() override;

    // The rate the open stream runs at, in Hz (0 while closed).
    std::uint32_t StreamRate() const;

private:
    struct Device {
        int api = 0; // an RtAudio::Api
        std::string name;
    };
    struct Session;

    std::vector<int> Apis() const;

    std::string apiName;
    std::string streamName;
    std::vector<Device> devices;
    bool listed = false;
    std::unique_ptr<Session> session;
};

} // namespace velomire::editing
