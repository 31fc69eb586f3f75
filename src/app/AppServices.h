#pragma once

#include "transfer/Librarian.h"
#include "transfer/MidiDriver.h"
#include "transfer/MidiInDriver.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velomire::app {

// What the application is given from outside the widgets, filled in one place (main.cpp) so the
// audio preview and the MIDI drivers are wired there. Every member may stay empty:
// - audioOutputNames: the wave output devices for Options; empty list when unset.
// - play: starts an asynchronous preview of a file named relative to the working directory and
//   returns 0, or reports why not and returns -1; play("") stops. When unset the document shows
//   "Error: Can't play File !" and returns -1.
// - makeMidiDriver: the MIDI output system; the system's drivers (ALSA, JACK) when unset. Made
//   on first use, so starting the application never touches the MIDI system.
// - makeMidiInDriver: the same for MIDI input (the sampler's answers).
// - makeLibrarian: the reading side of the chosen sampler (the Sampler window, the free numbers
//   of a send); transfer::MakeLibrarian when unset.
struct AppServices {
    std::function<std::vector<std::string>()> audioOutputNames;
    std::function<int(const std::string&)> play;
    std::function<std::unique_ptr<transfer::MidiDriver>()> makeMidiDriver;
    std::function<std::unique_ptr<transfer::MidiInDriver>()> makeMidiInDriver;
    using LibrarianFactory = std::function<std::unique_ptr<transfer::Librarian>(
        std::int32_t model, const transfer::LibrarianPorts& ports)>;
    LibrarianFactory makeLibrarian;
};

} // namespace velomire::app
