#pragma once

#include "transfer/MidiInDriver.h"

#include <memory>
#include <string>
#include <vector>

namespace velomire::transfer {

struct MidiInBackEnd {
    std::unique_ptr<MidiInDriver> driver;
    std::string namePrefix;
};

// The input driver the applications use: the input ports of every back end in one list, as the
// output driver lists its ports. On Linux: the ALSA sequencer's readable ports, then the MIDI
// outputs of a running JACK server named "JACK: client:port"; on Windows the WinMM input devices;
// elsewhere RtMidi's system back end.
class SystemMidiInDriver final : public MidiInDriver {
public:
    SystemMidiInDriver();
    explicit SystemMidiInDriver(std::vector<MidiInBackEnd> backEnds);
    ~SystemMidiInDriver() override;
    SystemMidiInDriver(const SystemMidiInDriver&) = delete;
    SystemMidiInDriver& operator=(const SystemMidiInDriver&) = delete;

    std::vector<std::string> PortNames() override;
    // The index refers to the last PortNames() list (taken now if there was none).
    MidiStatus Open(unsigned index) override;
    MidiStatus Poll(std::vector<MidiInBytes>& out) override;
    MidiStatus Close() override;
    bool Gone() const override;
    bool SetPieces(bool on) override;

private:
    struct Entry {
        MidiInDriver* driver;
        unsigned index;
    };
    std::vector<MidiInBackEnd> backEnds;
    std::vector<Entry> entries;
    bool listed = false;
    MidiInDriver* openDriver = nullptr;
    bool pieces = false;
};

} // namespace velomire::transfer
