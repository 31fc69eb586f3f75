#include "transfer/devices/SystemMidiInDriver.h"

#ifdef __linux__
#include "transfer/devices/AlsaSeqMidiInDriver.h"
#include "transfer/devices/JackMidiInDriver.h"
#elif defined(_WIN32)
#include "transfer/devices/WinMmMidiInDriver.h"
#else
#include "transfer/devices/RtMidiSession.h"

#include <chrono>
#endif

#include <utility>

namespace velomire::transfer {

namespace {

#if !defined(__linux__) && !defined(_WIN32)

// Input on RtMidi's own system back end, which hands over each System Exclusive message whole
// (so never in pieces).
class RtMidiDefaultInDriver final : public MidiInDriver {
public:
    bool SetPieces(bool on) override { return !on; }

    std::vector<std::string> PortNames() override { return session.PortNames(); }

    MidiStatus Open(unsigned index) override {
        return session.Run([index](RtMidiIn& in) {
            in.openPort(index, "Velomire in");
            in.ignoreTypes(false, true, true); // System Exclusive wanted; timing and sensing not
        });
    }

    MidiStatus Poll(std::vector<MidiInBytes>& out) override {
        return session.Run([&out](RtMidiIn& in) {
            std::vector<unsigned char> message;
            for (in.getMessage(&message); !message.empty(); in.getMessage(&message)) {
                out.push_back({{message.begin(), message.end()}, std::chrono::steady_clock::now()});
            }
        });
    }

    MidiStatus Close() override { return session.Close(); }

private:
    RtMidiSession<RtMidiIn> session;
};

#endif

std::vector<MidiInBackEnd> PlatformInBackEnds() {
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

SystemMidiInDriver::SystemMidiInDriver() : SystemMidiInDriver(PlatformInBackEnds()) {}

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
        if (pieces && !openDriver->SetPieces(true)) {
            pieces = false;
        }
    }
    return status;
}

MidiStatus SystemMidiInDriver::Poll(std::vector<MidiInBytes>& out) {
    if (openDriver == nullptr) {
        return MidiStatus::Error("The MIDI input port is not open.");
    }
    return openDriver->Poll(out);
}

bool SystemMidiInDriver::SetPieces(bool on) {
    pieces = on;
    return openDriver == nullptr || openDriver->SetPieces(on);
}

bool SystemMidiInDriver::Gone() const {
    return openDriver != nullptr && openDriver->Gone();
}

MidiStatus SystemMidiInDriver::Close() {
    if (openDriver == nullptr) {
        return {};
    }
    return std::exchange(openDriver, nullptr)->Close();
}

} // namespace velomire::transfer
