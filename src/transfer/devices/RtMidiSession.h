#pragma once

// What the RtMidi input and output drivers share (RtMidi's own system back end, used where
// neither the ALSA sequencer and JACK nor WinMM are: macOS). Not compiled on the development
// machine: keep this small.

#include "transfer/MidiDriver.h"

#include <rtmidi/RtMidi.h>

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velomire::transfer {

// One RtMidiIn or RtMidiOut, made at first use, whose errors (RtMidi reports most of them to a
// callback, some by throwing) come back as a MidiStatus.
template <typename Midi> class RtMidiSession {
public:
    // The system's ports; empty when it has none or cannot list them.
    std::vector<std::string> PortNames() {
        std::vector<std::string> names;
        const MidiStatus status = Run([&names](Midi& system) {
            const unsigned count = system.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                names.push_back(system.getPortName(i));
            }
        });
        if (!status) {
            names.clear();
        }
        return names;
    }

    // Runs `use` on the RtMidi object; what it threw or reported, if anything.
    template <typename Use> MidiStatus Run(Use use) {
        try {
            use(Get());
        } catch (const std::exception& e) {
            error.clear();
            return MidiStatus::Error(e.what());
        }
        if (error.empty()) {
            return {};
        }
        return MidiStatus::Error(std::exchange(error, {}));
    }

    MidiStatus Close() {
        if (!midi) {
            return {};
        }
        return Run([](Midi& open) { open.closePort(); });
    }

private:
    Midi& Get() {
        if (!midi) {
            midi = std::make_unique<Midi>(RtMidi::UNSPECIFIED, "Velomire");
            midi->setErrorCallback(
                [](RtMidiError::Type type, const std::string& text, void* arg) {
                    if (type != RtMidiError::DEBUG_WARNING) {
                        *static_cast<std::string*>(arg) = text;
                    }
                },
                &error);
        }
        return *midi;
    }

    std::unique_ptr<Midi> midi;
    std::string error;
};

} // namespace velomire::transfer
