#include "transfer/devices/SystemMidiInDriver.h"

#ifdef __linux__
#include "transfer/devices/AlsaSeqMidiInDriver.h"
#include "transfer/devices/JackMidiInDriver.h"
#elif defined(_WIN32)
#include "transfer/devices/WinMmMidiInDriver.h"
#else
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <exception>
#endif

#include <utility>

namespace velomire::transfer {

namespace {

#if !defined(__linux__) && !defined(_WIN32)

// Input on RtMidi's own system back end (CoreMIDI on macOS), which hands over each System
// Exclusive message whole. Not compiled on the development machine: keep this small.
class RtMidiDefaultInDriver final : public MidiInDriver {
public:
    std::vector<std::string> PortNames() override {
        std::vector<std::string> names;
        try {
            RtMidiIn& midi = In();
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
            In().openPort(index, "Velomire in");
            In().ignoreTypes(false, true, true); // System Exclusive wanted; timing and sensing not
        } catch (const std::exception& e) {
            return MidiStatus::Error(e.what());
        }
        return TakeStatus();
    }

    MidiStatus Poll(std::vector<MidiInBytes>& out) override {
        try {
            std::vector<unsigned char> message;
            for (In().getMessage(&message); !message.empty(); In().getMessage(&message)) {
                out.push_back({{message.begin(), message.end()}, std::chrono::steady_clock::now()});
            }
        } catch (const std::exception& e) {
            return MidiStatus::Error(e.what());
        }
        return TakeStatus();
    }

    MidiStatus Close() override {
        try {
            if (in) {
                in->closePort();
            }
        } catch (const std::exception& e) {
            return MidiStatus::Error(e.what());
        }
        return TakeStatus();
    }

private:
    // Holds this many messages between two polls; more are dropped with a warning, reported.
    static constexpr unsigned queueLimit = 1024;

    RtMidiIn& In() {
        if (!in) {
            in = std::make_unique<RtMidiIn>(RtMidi::UNSPECIFIED, "Velomire", queueLimit);
            in->setErrorCallback(
                [](RtMidiError::Type type, const std::string& text, void* arg) {
                    if (type != RtMidiError::DEBUG_WARNING) {
                        *static_cast<std::string*>(arg) = text;
                    }
                },
                &error);
        }
        return *in;
    }

    MidiStatus TakeStatus() {
        if (error.empty()) {
            return {};
        }
        return MidiStatus::Error(std::exchange(error, {}));
    }

    std::unique_ptr<RtMidiIn> in;
    std::string error;
};

#endif

std::vector<MidiInBackEnd> PlatformBackEnds() {
    std::vector<MidiInBackEnd> backEnds;
#ifdef __linux__
    backEnds.push_back({std::make_unique<AlsaSeqMidiInDriver>(), ""});
    backEnds.push_back({std::make_unique<JackMidiInDriver>(), "JACK: "});
#elif defined(_WIN32)
    backEnds.push_back({std::make_unique<WinMmMidiInDriver>(MakeSystemWinMmInCalls()), ""});
#else
    backEnds.push_back({std::make_unique<RtMidiDefaultInDriver>(), ""});
#endif
    return backEnds;
}

} // namespace

SystemMidiInDriver::SystemMidiInDriver() : SystemMidiInDriver(PlatformBackEnds()) {}

SystemMidiInDriver::SystemMidiInDriver(std::vector<MidiInBackEnd> backEnds)
    : backEnds(std::move(backEnds)) {}

SystemMidiInDriver::~SystemMidiInDriver() {
    Close();
}

std::vector<std::string> SystemMidiInDriver::PortNames() {
    entries.clear();
    listed = true;
    std::vector<std::string> names;
    for (MidiInBackEnd& backEnd : backEnds) {
        std::vector<std::string> own = backEnd.driver->PortNames();
        for (unsigned i = 0; i < own.size(); ++i) {
            entries.push_back({backEnd.driver.get(), i});
            names.push_back(backEnd.namePrefix + own[i]);
        }
    }
    return names;
}

MidiStatus SystemMidiInDriver::Open(unsigned index) {
    Close();
    if (!listed) {
        PortNames();
    }
    if (index >= entries.size()) {
        return MidiStatus::Error("There is no MIDI input port number " + std::to_string(index) +
                                 ".");
    }
    const Entry& entry = entries[index];
    MidiStatus status = entry.driver->Open(entry.index);
    if (status) {
        openDriver = entry.driver;
    }
    return status;
}

MidiStatus SystemMidiInDriver::Poll(std::vector<MidiInBytes>& out) {
    if (openDriver == nullptr) {
        return MidiStatus::Error("The MIDI input port is not open.");
    }
    return openDriver->Poll(out);
}

MidiStatus SystemMidiInDriver::Close() {
    if (openDriver == nullptr) {
        return {};
    }
    return std::exchange(openDriver, nullptr)->Close();
}

} // namespace velomire::transfer
