#include "transfer/devices/SystemMidiDriver.h"

#ifdef __linux__
#include "transfer/devices/AlsaSeqMidiDriver.h"
#include "transfer/devices/JackMidiDriver.h"
#elif defined(_WIN32)
#include "transfer/devices/WinMmMidiDriver.h"
#else
#include <rtmidi/RtMidi.h>

#include <exception>
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
// are refused here with a clear message. Not compiled on the development machine: keep this
// small.
class RtMidiDefaultDriver final : public MidiDriver {
public:
    std::vector<std::string> PortNames() override {
        std::vector<std::string> names;
        try {
            RtMidiOut& midi = Out();
            const unsigned count = midi.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                names.push_back(midi.getPortName(i));
            }
        } catch (const std::exception&) {
            names.clear();
        }
        error.clear();
        return names;
    }

    MidiStatus Open(unsigned index) override {
        try {
            Out().openPort(index, "Velomire out");
        } catch (const std::exception& e) {
            return MidiStatus::Error(e.what());
        }
        return TakeStatus();
    }

    MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        const bool wholeSysEx = bytes.size() >= 2 && bytes.front() == 0xF0 && bytes.back() == 0xF7;
        if (!wholeSysEx) {
            return MidiStatus::Error(
                "Sending a System Exclusive message in pieces is not available on this system");
        }
        try {
            Out().sendMessage(bytes.data(), bytes.size());
        } catch (const std::exception& e) {
            return MidiStatus::Error(e.what());
        }
        return TakeStatus();
    }

    MidiStatus Close() override {
        try {
            if (out) {
                out->closePort();
            }
        } catch (const std::exception& e) {
            return MidiStatus::Error(e.what());
        }
        return TakeStatus();
    }

private:
    RtMidiOut& Out() {
        if (!out) {
            out = std::make_unique<RtMidiOut>(RtMidi::UNSPECIFIED, "Velomire");
            out->setErrorCallback(
                [](RtMidiError::Type type, const std::string& text, void* arg) {
                    if (type != RtMidiError::DEBUG_WARNING) {
                        *static_cast<std::string*>(arg) = text;
                    }
                },
                &error);
        }
        return *out;
    }

    MidiStatus TakeStatus() {
        if (error.empty()) {
            return {};
        }
        return MidiStatus::Error(std::exchange(error, {}));
    }

    std::unique_ptr<RtMidiOut> out;
    std::string error;
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

void SystemMidiDriver::SetIdleHook(std::function<void()> hook) {
    for (MidiBackEnd& backEnd : backEnds) {
        backEnd.driver->SetIdleHook(hook);
    }
}

} // namespace velomire::transfer
