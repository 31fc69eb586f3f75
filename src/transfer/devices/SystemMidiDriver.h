#pragma once

#include "transfer/MidiDriver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velomire::transfer {

// One MIDI output system behind the system driver, and what its port names are prefixed with.
struct MidiBackEnd {
    std::unique_ptr<MidiDriver> driver;
    std::string namePrefix;
};

// The driver the applications use: the ports of every back end in one list, back end after back
// end, each call routed to the back end that owns the port.
class SystemMidiDriver final : public MidiDriver {
public:
    // This system's back ends. On Linux: the ALSA sequencer's ports, then the MIDI inputs of a
    // running JACK server named "JACK: client:port". On Windows: the WinMM devices. Elsewhere:
    // RtMidi's default API, which takes whole System Exclusive messages only.
    SystemMidiDriver();
    explicit SystemMidiDriver(std::vector<MidiBackEnd> backEnds);
    ~SystemMidiDriver() override;
    SystemMidiDriver(const SystemMidiDriver&) = delete;
    SystemMidiDriver& operator=(const SystemMidiDriver&) = delete;

    std::vector<std::string> PortNames() override;
    // The index refers to the last PortNames() list (taken now if there was none).
    MidiStatus Open(unsigned index) override;
    MidiStatus Write(std::span<const std::uint8_t> bytes) override;
    MidiStatus Close() override;
    std::string OpenPortName() const override;
    std::uint32_t MissedCycles() const override;
    void SetIdleHook(std::function<void()> hook) override;

private:
    struct Entry {
        MidiDriver* driver;
        unsigned index;
        std::string name;
    };
    std::vector<MidiBackEnd> backEnds;
    std::vector<Entry> entries;
    bool listed = false;
    MidiDriver* openDriver = nullptr;
    MidiDriver* lastDriver = nullptr; // the back end of the last opening
    std::string openName;
};

} // namespace velomire::transfer
