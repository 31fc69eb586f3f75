#include "transfer/devices/SystemMidiDriver.h"

#ifdef __linux__
#include "transfer/devices/AlsaSeqMidiDriver.h"
#include "transfer/devices/JackMidiDriver.h"
#elif defined(_WIN32)
#include "transfer/devices/WinMmMidiDriver.h"
#else
#include "transfer/devices/RtMidiSession.h"
#endif

#include <utility>

namespace velomire::transfer {

namespace {

#ifdef __linux__

std::vector<MidiBackEnd> PlatformBackEnds() {
    std::vector<MidiBackEnd> backEnds;
    backEnds.push_back({std::make_unique<AlsaSeqMidiDriver>(), ""});
    backEnds.push_back({std::make_unique<JackMidiDriver>(), "JACK: "});
    return backEnds;
}

#elif defined(_WIN32)

std::vector<MidiBackEnd> PlatformBackEnds() {
    std::vector<MidiBackEnd> backEnds;
    backEnds.push_back({std::make_unique<WinMmMidiDriver>(MakeSystemWinMmCalls(),
                                                          std::make_unique<SteadyWaitClock>()),
                        ""});
    return backEnds;
}

#else

// TODO: the S900/S950 sample data is one System Exclusive message handed over in pieces, and
// RtMidi's CoreMIDI back end refuses a piece that does not start with F0. Sending it on macOS
// needs the native calls (MIDISendSysex or a packet list carrying the piece). Until then, pieces
// are refused here with a clear message.
class RtMidiDefaultDriver final : public MidiDriver {
public:
    std::vector<std::string> PortNames() override { return session.PortNames(); }

    MidiStatus Open(unsigned index) override {
        return session.Run([index](RtMidiOut& out) { out.openPort(index, "Velomire out"); });
    }

    MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        const bool wholeSysEx = bytes.size() >= 2 && bytes.front() == 0xF0 && bytes.back() == 0xF7;
        if (!wholeSysEx) {
            return MidiStatus::Error(
                "Sending a System Exclusive message in pieces is not available on this system");
        }
        return session.Run(
            [bytes](RtMidiOut& out) { out.sendMessage(bytes.data(), bytes.size()); });
    }

    MidiStatus Close() override { return session.Close(); }

private:
    RtMidiSession<RtMidiOut> session;
};

std::vector<MidiBackEnd> PlatformBackEnds() {
    std::vector<MidiBackEnd> backEnds;
    backEnds.push_back({std::make_unique<RtMidiDefaultDriver>(), ""});
    return backEnds;
}

#endif

} // namespace

SystemMidiDriver::SystemMidiDriver() : SystemMidiDriver(PlatformBackEnds()) {}

SystemMidiDriver::SystemMidiDriver(std::vector<MidiBackEnd> backEnds)
    : backEnds(std::move(backEnds)) {}

SystemMidiDriver::~SystemMidiDriver() {
    Close();
}

std::vector<std::string> SystemMidiDriver::PortNames() {
    entries.clear();
    listed = true;
    std::vector<std::string> names;
    for (MidiBackEnd& backEnd : backEnds) {
        std::vector<std::string> own = backEnd.driver->PortNames();
        for (unsigned i = 0; i < own.size(); ++i) {
            names.push_back(backEnd.namePrefix + own[i]);
            entries.push_back({backEnd.driver.get(), i, names.back()});
        }
    }
    return names;
}

MidiStatus SystemMidiDriver::Open(unsigned index) {
    Close();
    if (!listed) {
        PortNames();
    }
    if (index >= entries.size()) {
        return MidiStatus::Error("There is no MIDI output port number " + std::to_string(index) +
                                 ".");
    }
    const Entry& entry = entries[index];
    MidiStatus status = entry.driver->Open(entry.index);
    lastDriver = entry.driver;
    if (status) {
        openDriver = entry.driver;
        openName = entry.name;
    }
    return status;
}

MidiStatus SystemMidiDriver::Write(std::span<const std::uint8_t> bytes) {
    if (openDriver == nullptr) {
        return MidiStatus::Error("The MIDI output port is not open.");
    }
    return openDriver->Write(bytes);
}

MidiStatus SystemMidiDriver::Close() {
    if (openDriver == nullptr) {
        return {};
    }
    return std::exchange(openDriver, nullptr)->Close();
}

std::string SystemMidiDriver::OpenPortName() const {
    return openDriver != nullptr ? openName : std::string();
}

std::uint32_t SystemMidiDriver::MissedCycles() const {
    return lastDriver != nullptr ? lastDriver->MissedCycles() : 0;
}

void SystemMidiDriver::SetIdleHook(std::function<void()> hook) {
    for (MidiBackEnd& backEnd : backEnds) {
        backEnd.driver->SetIdleHook(hook);
    }
}

} // namespace velomire::transfer
