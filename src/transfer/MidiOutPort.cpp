#include "transfer/MidiOutPort.h"

#include "transfer/WaitClock.h"

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace velomire::transfer {

MidiOutPort::MidiOutPort(MidiDriver& driver, WaitClock& clock, program::UserMessages& messages)
    : SysExBuffer(clock), driver(driver), messages(messages), tracePath(DefaultTracePath()) {}

MidiOutPort::~MidiOutPort() {
    // The dump closes itself; a port still open at the end is released without a message box,
    // since nobody is left to answer one.
    if (isOpen) {
        driver.Close();
    }
}

unsigned MidiOutPort::GetNumDevs() {
    return static_cast<unsigned>(driver.PortNames().size());
}

std::string MidiOutPort::GetDevName(unsigned id) {
    std::vector<std::string> names = driver.PortNames();
    if (id >= names.size()) {
        return {};
    }
    return std::move(names[id]);
}

bool MidiOutPort::Open(int deviceId) {
    // A port opened twice without a Close would otherwise leave the earlier opening (and its
    // dump) behind.
    if (isOpen) {
        driver.Close();
        isOpen = false;
    }
    traceFile.reset();
    isTracing = false;

    if (deviceId < 0) {
        ReportError("The MIDI output device id is out of range.", "midiOutOpen");
        return false;
    }
    ending = Ending::none;
    cancelRequested.store(false, std::memory_order_relaxed);
    cancelMessage.clear();
    insideSysEx = false;
    failureText.clear();
    driver.SetIdleHook(IdleHook());
    MidiStatus status = driver.Open(static_cast<unsigned>(deviceId));
    if (!status) {
        ReportError(status.text, "midiOutOpen");
        return false;
    }
    deviceName = driver.OpenPortName();
    isOpen = true;
    return true;
}

void MidiOutPort::OpenTrace() {
    isTracing = true;
    // A dump that cannot be created stays null: Send then skips the dump and goes on sending.
#ifdef _WIN32
    // The narrow name would go through the ANSI code page and miss characters outside it.
    traceFile.reset(_wfopen(tracePath.c_str(), L"wb"));
#else
    traceFile.reset(std::fopen(tracePath.c_str(), "wb"));
#endif
}

bool MidiOutPort::Send() {
    const std::span<const std::uint8_t> message = Bytes();
    EndIfCancelled();
    if (isOpen && ending != Ending::none) {
        Clear();
        return false;
    }
    if (!isOpen || message.empty()) {
        if (isTracing && traceFile && !message.empty()) {
            std::fwrite(message.data(), 1, message.size(), traceFile.get());
            std::fflush(traceFile.get());
        }
        Clear();
        return true;
    }

    const WaitClock::TimePoint start = Clock().Now();
    if (!Write(message)) {
        Clear();
        return false;
    }
    // The driver may return as soon as it has queued the bytes; waiting out their wire time
    // keeps the gaps the message builders add between messages real gaps on the cable.
    const auto wireTime = wireTimePerByte * static_cast<std::int64_t>(message.size());
    const auto remaining =
        std::chrono::duration_cast<std::chrono::microseconds>(start + wireTime - Clock().Now());
    SleepFor(Clock(), remaining, IdleHook(), [this] { return ending != Ending::none; });
    if (messageHook && ending == Ending::none) {
        if (MidiStatus status = messageHook(message); !status) {
            ending = Ending::failed;
            failureText = status.text;
        }
    }
    Clear();
    return ending == Ending::none;
}

void MidiOutPort::EndIfCancelled() {
    if (!isOpen || ending != Ending::none || !cancelRequested.load(std::memory_order_relaxed)) {
        return;
    }
    ending = Ending::cancelled;
    if (insideSysEx) {
        static constexpr std::uint8_t endOfExclusive[] = {0xF7};
        if (!Write(endOfExclusive)) {
            return;
        }
    }
    if (!cancelMessage.empty()) {
        const std::vector<std::uint8_t> bytes = std::move(cancelMessage);
        cancelMessage.clear();
        if (Write(bytes)) {
            SleepFor(Clock(), wireTimePerByte * static_cast<std::int64_t>(bytes.size()), IdleHook(),
                     [] { return false; });
        }
    }
}

bool MidiOutPort::Write(std::span<const std::uint8_t> bytes) {
    if (isTracing && traceFile) {
        // The dump is the bare concatenation of what went out; flushed so that it is complete up
        // to the last message even if the transfer never reaches Close.
        std::fwrite(bytes.data(), 1, bytes.size(), traceFile.get());
        std::fflush(traceFile.get());
    }
    MidiStatus status = driver.Write(bytes);
    if (!status) {
        // A device that failed once is not tried again: its next writes would each wait out
        // their own deadline, and a message it dropped has broken the transfer already.
        ending = Ending::failed;
        failureText = status.text;
        return false;
    }
    for (const std::uint8_t byte : bytes) {
        if (byte == 0xF0) {
            insideSysEx = true;
        } else if (byte == 0xF7) {
            insideSysEx = false;
        }
    }
    return true;
}

bool MidiOutPort::Close() {
    traceFile.reset();
    isTracing = false;
    if (!isOpen) {
        return true;
    }
    isOpen = false;
    MidiStatus status = driver.Close();
    // After a failed write the failure has been reported already; closing cannot go better.
    if (!status && ending != Ending::failed) {
        ReportError(status.text, "midiOutClose");
        return false;
    }
    return true;
}

void MidiOutPort::ReportError(const std::string& text, std::string_view caption) {
    messages.Show(text, caption);
}

std::filesystem::path DefaultTracePath() {
    const char* overridePath = std::getenv("VELOMIRE_TRACE_FILE");
    if (overridePath != nullptr && overridePath[0] != '\0') {
        return overridePath;
    }
#ifdef _WIN32
    return "c:\\mididump.chk";
#else
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return "mididump.chk";
    }
    return std::filesystem::path(home) / "mididump.chk";
#endif
}

} // namespace velomire::transfer
