#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::transfer {

// Where the port the user chose earlier is in today's list. The name decides: a port that comes
// or goes before it moves every position after it. With a name, the saved position is taken only
// when it still holds that name; else the first port of that name; else the first whose name
// matches but for the ALSA sequencer's address " (client:port)" at its end (the numbers change
// when a device is plugged in again). A port that is not there is nothing, never another port.
// Without a name (settings from before names were kept) the position is all there is.
std::optional<int> FindSavedPort(const std::vector<std::string>& names,
                                 const std::string& savedName, int savedIndex);

// The clients this application opens (the MIDI Out client "Velomire", the MIDI In client
// "Velomire-in", and the copies JACK names "Velomire-01" when a name is taken): never a port to
// send to or to hear a sampler from.
bool IsOwnMidiClient(std::string_view client);

// A JACK port name "client:port" of one of our own clients.
bool IsOwnJackPort(std::string_view port);

} // namespace velomire::transfer
