#pragma once

#include "transfer/MidiInDriver.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// The Windows multimedia input calls the WinMM input driver makes, one method per call, so that
// its logic runs against a fake on any system. Results are MMRESULT codes: 0 is success. The
// calls work on the one device the object opens and on its input buffers, each known by an index.
class WinMmInCalls {
public:
    using Result = unsigned;
    static constexpr Result noError = 0; // MMSYSERR_NOERROR

    // A buffer the device handed back (MIM_LONGDATA or MIM_LONGERROR), with the number of bytes
    // it recorded there and when it did.
    struct Filled {
        std::size_t index = 0;
        std::size_t bytes = 0;
        WaitClock::TimePoint time{};
    };

    virtual ~WinMmInCalls() = default;
    virtual unsigned GetNumDevs() = 0; // midiInGetNumDevs
    // midiInGetDevCaps: the device's product name (at most 31 characters).
    virtual Result GetDevCaps(unsigned id, std::string& productName) = 0;
    // midiInOpen with a callback that keeps the buffers handed back, in order, for TakeFilled.
    virtual Result Open(unsigned id) = 0;
    // midiInPrepareHeader (the first time) and midiInAddBuffer on buffer `index` over `bytes`,
    // which stay valid until Close.
    virtual Result AddBuffer(std::size_t index, std::span<std::uint8_t> bytes) = 0;
    virtual std::vector<Filled> TakeFilled() = 0;
    virtual Result Start() = 0; // midiInStart
    // midiInReset (every buffer comes back), midiInUnprepareHeader on each, midiInClose.
    virtual Result Close() = 0;
    virtual std::string ErrorText(Result code) = 0; // midiInGetErrorText
};

// The real calls into winmm.dll; only on Windows.
std::unique_ptr<WinMmInCalls> MakeSystemWinMmInCalls();

// MIDI input straight on WinMM. System Exclusive bytes arrive in the buffers the driver lends the
// device (WinMM drops what comes while it has none); Poll takes the filled ones and lends them
// again at once. With the sender looking every millisecond, 16 buffers of 4 KB hold far more
// than a sampler answers in between. Other messages are not needed and not taken.
//
// WinMM hands a buffer back only once it is full or its message has ended, so in pieces mode the
// device gets 512 buffers of one byte each: a message comes over byte by byte as it arrives,
// with 160 ms of MIDI between two polls.
class WinMmMidiInDriver final : public MidiInDriver {
public:
    static constexpr std::size_t bufferCount = 16;
    static constexpr std::size_t bufferBytes = 4096;
    static constexpr std::size_t pieceBufferCount = 512;

    explicit WinMmMidiInDriver(std::unique_ptr<WinMmInCalls> calls);
    ~WinMmMidiInDriver() override;
    WinMmMidiInDriver(const WinMmMidiInDriver&) = delete;
    WinMmMidiInDriver& operator=(const WinMmMidiInDriver&) = delete;

    // Every device id in order, named by its device capabilities; the index is the device id.
    std::vector<std::string> PortNames() override;
    MidiStatus Open(unsigned index) override;
    MidiStatus Poll(std::vector<MidiInBytes>& out) override;
    MidiStatus Close() override;
    // Opens the device again with the other buffers when it is open.
    bool SetPieces(bool on) override;

private:
    std::size_t BufferBytes() const { return pieces ? 1 : bufferBytes; }

    MidiStatus Failure(const char* call, WinMmInCalls::Result code);

    std::unique_ptr<WinMmInCalls> calls;
    bool isOpen = false;
    bool pieces = false;
    unsigned openIndex = 0;
    std::vector<std::vector<std::uint8_t>> buffers;
    // Buffers lent to the device and not yet handed back.
    std::size_t lent = 0;
};

} // namespace velomire::transfer
