#include "transfer/devices/WinMmMidiInDriver.h"

#include "transfer/devices/WinMmMidiDriver.h" // WinMmDeviceNames

#include <algorithm>
#include <utility>

namespace velomire::transfer {

WinMmMidiInDriver::WinMmMidiInDriver(std::unique_ptr<WinMmInCalls> calls)
    : calls(std::move(calls)) {}

WinMmMidiInDriver::~WinMmMidiInDriver() {
    Close();
}

std::vector<std::string> WinMmMidiInDriver::PortNames() {
    return WinMmDeviceNames(
        calls->GetNumDevs(),
        [this](unsigned id, std::string& name) { return calls->GetDevCaps(id, name); },
        "MIDI input");
}

MidiStatus WinMmMidiInDriver::Open(unsigned index) {
    Close();
    WinMmInCalls::Result result = calls->Open(index);
    if (result != WinMmInCalls::noError) {
        return MidiStatus::Error(calls->ErrorText(result));
    }
    isOpen = true;
    openIndex = index;
    buffers.assign(pieces ? pieceBufferCount : bufferCount,
                   std::vector<std::uint8_t>(BufferBytes()));
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        if (result = calls->AddBuffer(i, buffers[i]); result != WinMmInCalls::noError) {
            return Failure("midiInAddBuffer", result);
        }
        ++lent;
    }
    if (result = calls->Start(); result != WinMmInCalls::noError) {
        return Failure("midiInStart", result);
    }
    return {};
}

MidiStatus WinMmMidiInDriver::Poll(std::vector<MidiInBytes>& out) {
    if (!isOpen) {
        return MidiStatus::Error("The MIDI input port is not open.");
    }
    const std::vector<WinMmInCalls::Filled> filled = calls->TakeFilled();
    if (filled.empty()) {
        return {};
    }
    // Every buffer handed back and the last one full: what came after had nowhere to go.
    lent -= std::min(lent, filled.size());
    const bool overrun = lent == 0 && filled.back().bytes >= BufferBytes();
    for (const WinMmInCalls::Filled& one : filled) {
        if (one.index >= buffers.size()) {
            continue;
        }
        std::vector<std::uint8_t>& buffer = buffers[one.index];
        if (one.bytes > 0) {
            const auto end =
                buffer.begin() + static_cast<std::ptrdiff_t>(std::min(one.bytes, buffer.size()));
            out.push_back({{buffer.begin(), end}, one.time});
        }
        if (const WinMmInCalls::Result result = calls->AddBuffer(one.index, buffer);
            result != WinMmInCalls::noError) {
            return Failure("midiInAddBuffer", result);
        }
        ++lent;
    }
    if (overrun) {
        return MidiStatus::Error("MIDI input was lost: the device had no buffer left.");
    }
    return {};
}

MidiStatus WinMmMidiInDriver::Close() {
    if (!isOpen) {
        return {};
    }
    isOpen = false;
    lent = 0;
    const WinMmInCalls::Result result = calls->Close();
    // The device has given every buffer back by now and reads none of them any more.
    buffers.clear();
    if (result != WinMmInCalls::noError) {
        return MidiStatus::Error("midiInClose: " + calls->ErrorText(result));
    }
    return {};
}

bool WinMmMidiInDriver::SetPieces(bool on) {
    if (on == pieces) {
        return true;
    }
    pieces = on;
    if (!isOpen) {
        return true;
    }
    Close();
    return Open(openIndex).ok;
}

MidiStatus WinMmMidiInDriver::Failure(const char* call, WinMmInCalls::Result code) {
    MidiStatus status = MidiStatus::Error(std::string(call) + ": " + calls->ErrorText(code));
    Close();
    return status;
}

} // namespace velomire::transfer
