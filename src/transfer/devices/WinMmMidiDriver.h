#pragma once

#include "transfer/MidiDriver.h"
#include "transfer/WaitClock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// The Windows multimedia calls the WinMM driver makes, one method per call, so that the driver's
// logic runs against a fake on any system. Results are MMRESULT codes: 0 is success. The calls
// work on the one device and the one MIDIHDR the object holds.
class WinMmCalls {
public:
    using Result = unsigned;
    static constexpr Result noError = 0;           // MMSYSERR_NOERROR
    static constexpr Result stillPlaying = 64 + 1; // MIDIERR_STILLPLAYING
    static constexpr Result badDeviceId = 2;       // MMSYSERR_BADDEVICEID

    virtual ~WinMmCalls() = default;
    virtual unsigned GetNumDevs() = 0; // midiOutGetNumDevs
    // midiOutGetDevCaps: the device's product name (at most 31 characters).
    virtual Result GetDevCaps(unsigned id, std::string& productName) = 0;
    virtual Result Open(unsigned id) = 0; // midiOutOpen, no callback
    // midiOutPrepareHeader on a header whose lpData and dwBufferLength are these bytes; they stay
    // valid until the header is unprepared.
    virtual Result PrepareHeader(std::span<const std::uint8_t> bytes) = 0;
    virtual Result LongMsg() = 0; // midiOutLongMsg with the prepared header
    // MHDR_DONE of the header's dwFlags, read afresh: the system sets it from its own thread.
    virtual bool HeaderDone() = 0;
    virtual Result UnprepareHeader() = 0; // midiOutUnprepareHeader
    virtual Result Reset() = 0;           // midiOutReset: returns every pending header as done
    virtual Result Close() = 0;           // midiOutClose
    virtual std::string ErrorText(Result code) = 0; // midiOutGetErrorText
};

// The real calls into winmm.dll; only on Windows.
std::unique_ptr<WinMmCalls> MakeSystemWinMmCalls();

// The names of device ids 0..count-1 from `productName` (a GetDevCaps call); a device whose
// capabilities cannot be read is "<unnamed> <id + 1>" and keeps its place, so the index is the id.
std::vector<std::string>
WinMmDeviceNames(unsigned count, const std::function<unsigned(unsigned, std::string&)>& productName,
                 const std::string& unnamed);

// MIDI output straight on WinMM: every buffer, a whole message or a piece of one System
// Exclusive message, goes out as one long message (WinMM takes any bytes there). Write returns
// once the device has marked the header done, waiting in short sleeps for at most the bytes' wire
// time plus doneTimeout; a device that has not finished by then is reset and the write reported.
class WinMmMidiDriver final : public MidiDriver {
public:
    static constexpr std::chrono::milliseconds doneTimeout{1000};
    // How often the done flag is read once the bytes' wire time has passed.
    static constexpr std::chrono::milliseconds pollSlice{1};

    WinMmMidiDriver(std::unique_ptr<WinMmCalls> calls, std::unique_ptr<WaitClock> clock);
    ~WinMmMidiDriver() override;
    WinMmMidiDriver(const WinMmMidiDriver&) = delete;
    WinMmMidiDriver& operator=(const WinMmMidiDriver&) = delete;

    // Every device id in order, named by its device capabilities; the index is the device id.
    std::vector<std::string> PortNames() override;
    MidiStatus Open(unsigned index) override;
    MidiStatus Write(std::span<const std::uint8_t> bytes) override;
    MidiStatus Close() override;

private:
    MidiStatus Failure(const char* call, WinMmCalls::Result code);
    // Gets the header back from a device that still holds it; false when it will not give it.
    bool ReleaseHeader();

    std::unique_ptr<WinMmCalls> calls;
    std::unique_ptr<WaitClock> clock;
    bool isOpen = false;
    bool headerPrepared = false;
    // The bytes of the message in flight: the device reads them until the header is unprepared.
    std::vector<std::uint8_t> data;
};

} // namespace velomire::transfer
