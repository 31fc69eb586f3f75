#pragma once

namespace velomire::transfer {

// libasound and libjack print every failed probe on stderr ("open /dev/snd/seq failed", "Cannot
// connect to server socket"); the MIDI drivers and the audio output report failures through
// their own results instead. Installs handlers that print nothing, and keeps a JACK server that
// goes away from ending the process with SIGPIPE; safe to call often.
void QuietSystemLibraries();

} // namespace velomire::transfer
