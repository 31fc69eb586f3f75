#include "transfer/devices/WinMmMidiDriver.h"

#include <algorithm>
#include <string>
#include <utility>

namespace velomire::transfer {

WinMmMidiDriver::WinMmMidiDriver(std::unique_ptr<WinMmCalls> calls,
                                 std::unique_ptr<WaitClock> clock)
    : calls(std::move(calls)), clock(std::move(clock)) {}

WinMmMidiDriver::~WinMmMidiDriver() {
    Close();
}

std::vector<std::string>
WinMmDeviceNames(unsigned count, const std::function<unsigned(unsigned, std::string&)>& productName,
                 const std::string& unnamed) {
    std::vector<std::string> names;
    for (unsigned id = 0; id < count; ++id) {
        std::string name;
        if (productName(id, name) != WinMmCalls::noError || name.empty()) {
            name = unnamed + " " + std::to_string(id + 1);
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> WinMmMidiDriver::PortNames() {
    return WinMmDeviceNames(
        calls->GetNumDevs(),
        [this](unsigned id, std::string& name) { return calls->GetDevCaps(id, name); },
        "MIDI output");
}

MidiStatus WinMmMidiDriver::Open(unsigned index) {
    Close();
    const WinMmCalls::Result result = calls->Open(index);
    if (result != WinMmCalls::noError) {
        return MidiStatus::Error(calls->ErrorText(result));
    }
    isOpen = true;
    return {};
}

MidiStatus WinMmMidiDriver::Write(std::span<const std::uint8_t> bytes) {
    if (!isOpen) {
        return MidiStatus::Error("The MIDI output port is not open.");
    }
    if (bytes.empty()) {
        return {};
    }
    if (headerPrepared && !ReleaseHeader()) {
        return MidiStatus::Error("The MIDI device still holds the previous message.");
    }
    data.assign(bytes.begin(), bytes.end());
    WinMmCalls::Result result = calls->PrepareHeader(data);
    if (result != WinMmCalls::noError) {
        return Failure("midiOutPrepareHeader", result);
    }
    headerPrepared = true;
    const WaitClock::TimePoint start = clock->Now();
    result = calls->LongMsg();
    if (result != WinMmCalls::noError) {
        MidiStatus status = Failure("midiOutLongMsg", result);
        ReleaseHeader();
        return status;
    }

    // The device needs the bytes' wire time at least: sleep through it, then read the done flag
    // in short sleeps. Never a spin, and never longer than the bound.
    const auto wireTime = midiWireTimePerByte * static_cast<std::int64_t>(data.size());
    const WaitClock::TimePoint deadline = start + wireTime + doneTimeout;
    clock->SleepUntil(start + wireTime);
    while (!calls->HeaderDone()) {
        const WaitClock::TimePoint now = clock->Now();
        if (now >= deadline) {
            ReleaseHeader();
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
            return MidiStatus::Error("The MIDI device did not take the message within " +
                                     std::to_string(waited) + " ms.");
        }
        clock->SleepUntil(std::min(deadline, now + pollSlice));
    }
    result = calls->UnprepareHeader();
    if (result != WinMmCalls::noError) {
        return Failure("midiOutUnprepareHeader", result);
    }
    headerPrepared = false;
    return {};
}

MidiStatus WinMmMidiDriver::Close() {
    if (!isOpen) {
        return {};
    }
    isOpen = false;
    if (headerPrepared) {
        ReleaseHeader();
    }
    const WinMmCalls::Result result = calls->Close();
    if (result != WinMmCalls::noError) {
        return MidiStatus::Error(calls->ErrorText(result));
    }
    return {};
}

MidiStatus WinMmMidiDriver::Failure(const char* call, WinMmCalls::Result code) {
    return MidiStatus::Error(std::string(call) + ": " + calls->ErrorText(code));
}

bool WinMmMidiDriver::ReleaseHeader() {
    // A header still playing is handed back (marked done) by a reset; only then can it be
    // unprepared and its bytes reused.
    WinMmCalls::Result result = calls->UnprepareHeader();
    if (result == WinMmCalls::stillPlaying) {
        calls->Reset();
        result = calls->UnprepareHeader();
    }
    headerPrepared = result != WinMmCalls::noError;
    return !headerPrepared;
}

} // namespace velomire::transfer
