#include "transfer/devices/SystemMidiInDriver.h"

#ifdef __linux__
#include "transfer/devices/AlsaSeqMidiInDriver.h"
#include "transfer/devices/JackMidiInDriver.h"
#endif

#include <utility>

namespace velomire::transfer {

namespace {

std::vector<MidiInBackEnd> PlatformBackEnds() {
    std::vector<MidiInBackEnd> backEnds;
#ifdef __linux__
    backEnds.push_back({std::make_unique<AlsaSeqMidiInDriver>(), ""});
    backEnds.push_back({std::make_unique<JackMidiInDriver>(), "JACK: "});
#endif
    // TODO: no MIDI input back end on Windows and macOS yet (RtMidiIn would serve); until then
    // the list is empty there and every send is one-way.
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
