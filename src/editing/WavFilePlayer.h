#pragma once

// Audio preview: the one-call file preview of the Select Samples dialog.
//
// Threading contract: every member function runs on the UI thread. The output reports finished
// blocks on the audio thread (AudioOutput::BlockFinished); the dialog hands those tags over to
// the UI thread (FinishedBlockQueue, or a queued call) and passes them to OnBlockFinished there.

#include "editing/AudioOutput.h"
#include "editing/BlockPlayer.h"
#include "program/UserMessages.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::editing {

// Plays a whole WAV file once, as its mono mix at its own rate, without waiting for the end. The
// file is read into memory first (as the sample player of the system would), then streamed
// through a BlockPlayer; the device is open only while a file plays.
class WavFilePlayer {
public:
    // `waveOutDevice` is the settings' index; -1 (AudioOutput::defaultDevice, also the settings'
    // "none") plays on the system's default output, as the system's own sample player would.
    WavFilePlayer(AudioOutput& output, program::UserMessages& messages,
                  int waveOutDevice = AudioOutput::defaultDevice);
    WavFilePlayer(const WavFilePlayer&) = delete;
    WavFilePlayer& operator=(const WavFilePlayer&) = delete;

    void SetDevice(int waveOutDevice);

    // Stops what plays and starts the file; returns 0. A file that cannot be read as 16-bit PCM
    // WAV, or a device that cannot be opened, gives "Error: Can't play File !" with the name as
    // caption and -1. An empty name only stops (and returns 0).
    int PlayWavFile(const std::string& name);

    // A block came back (UI thread). Returns whether the file still plays; the device is closed
    // once it has ended.
    bool OnBlockFinished(std::uint64_t tag);
    bool IsPlaying() const { return player.CursorRunning(); }

private:
    // The reader's and the player's own messages are not shown: a failed preview has one
    // message of its own.
    class Quiet final : public program::UserMessages {
    public:
        void Show(std::string_view, std::string_view) override {}
    };

    int Refuse(const std::string& name);

    program::UserMessages& messages;
    Quiet quiet;
    BlockPlayer player;
    std::vector<std::int16_t> track;
    int waveOutDevice;
};

} // namespace velomire::editing
