#pragma once

// Audio preview: the Windows wave output (WinMM waveOut).
//
// Threading contract
// - UI thread: every public member function, and every WaveOutCalls call but the done report.
// - Audio thread (WinMM's callback thread): OnDone, called by the system once a written block has
//   played or was dropped by a reset; it reads the block's tag, calls the BlockFinished handler
//   and gives the block's place back. It takes no lock, allocates nothing and never waits.
// - Shared state: each place's `busy` flag (std::atomic; the UI thread fills a free place and sets
//   it, the audio thread clears it) and the `reporting` flag that Close clears before it resets.

#include "editing/AudioOutput.h"
#include "transfer/WaitClock.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velomire::editing {

// The waveOut calls the output makes, one method per call, so that its logic runs against a fake
// on any system. Results are MMRESULT codes: 0 is success. The object holds one device and one
// WAVEHDR per place of the queue.
class WaveOutCalls {
public:
    using Result = unsigned;
    static constexpr Result noError = 0;      // MMSYSERR_NOERROR
    static constexpr Result badDeviceId = 2;  // MMSYSERR_BADDEVICEID
    static constexpr Result allocated = 4;    // MMSYSERR_ALLOCATED
    static constexpr Result noDriver = 6;     // MMSYSERR_NODRIVER
    static constexpr Result noMemory = 7;     // MMSYSERR_NOMEM
    static constexpr Result badFormat = 32;   // WAVERR_BADFORMAT
    static constexpr Result synchronous = 35; // WAVERR_SYNC
    // The device id of the system's wave mapper, its default output.
    static constexpr int mapper = -1;
    // Called on the system's thread with the place of a header that is done.
    using Done = void (*)(void* context, std::size_t place);

    virtual ~WaveOutCalls() = default;
    virtual unsigned GetNumDevs() = 0; // waveOutGetNumDevs
    // waveOutGetDevCaps: the device's product name (at most 31 characters).
    virtual Result GetDevCaps(unsigned id, std::string& productName) = 0;
    // waveOutOpen for 16-bit mono PCM at `rate` Hz, reporting done headers to `done`.
    virtual Result Open(int id, std::uint32_t rate, Done done, void* context) = 0;
    // Unprepares the header of `place` if it was prepared before, then prepares it on `frames`
    // (which stay valid until it is done) and writes it (waveOutPrepareHeader, waveOutWrite).
    virtual Result Write(std::size_t place, std::span<const std::int16_t> frames) = 0;
    virtual Result Reset() = 0; // waveOutReset: every header written is done at once
    // waveOutGetPosition in samples; the count starts again at every reset.
    virtual Result Position(std::uint64_t& samples) = 0;
    // Unprepares every header and closes the device (waveOutUnprepareHeader, waveOutClose).
    virtual Result Close() = 0;
    virtual std::string ErrorText(Result code) = 0; // waveOutGetErrorText
};

// The real calls into winmm.dll; only on Windows.
std::unique_ptr<WaveOutCalls> MakeSystemWaveOutCalls();

// The output the original application used: each queued block is one WAVEHDR written to the
// device, which plays them back to back. The system converts the sample's rate where the device
// does not run at it (the wave mapper does, and so does every device on a current Windows).
class WaveOutAudioOutput final : public AudioOutput {
public:
    // How long Queue waits for a place the device has not yet given back, and how often it looks.
    static constexpr std::chrono::milliseconds placeWait{500};
    static constexpr std::chrono::milliseconds placePoll{1};
    static constexpr std::size_t places = 4;

    WaveOutAudioOutput(std::unique_ptr<WaveOutCalls> calls,
                       std::unique_ptr<transfer::WaitClock> clock);
    ~WaveOutAudioOutput() override;
    WaveOutAudioOutput(const WaveOutAudioOutput&) = delete;
    WaveOutAudioOutput& operator=(const WaveOutAudioOutput&) = delete;

    // Every device id in order, named by its capabilities; the index is the device id.
    std::vector<std::string> DeviceNames() override;
    AudioStatus Open(int device, std::uint32_t rate) override;
    bool IsOpen() const override;
    AudioStatus Queue(std::uint64_t tag, std::span<const std::int16_t> frames) override;
    void Reset() override;
    std::uint64_t SamplesPlayed() const override;
    void Close() override;

private:
    struct Place {
        std::vector<std::int16_t> frames;
        std::uint64_t tag = 0;
        std::atomic<bool> busy{false};
    };

    // Audio thread.
    static void OnDone(void* context, std::size_t place);
    AudioStatus Failure(WaveOutCalls::Result code);

    std::unique_ptr<WaveOutCalls> calls;
    std::unique_ptr<transfer::WaitClock> clock;
    std::array<Place, places> queue;
    BlockFinished finished;
    std::atomic<bool> reporting{false};
    bool isOpen = false;
};

} // namespace velomire::editing
