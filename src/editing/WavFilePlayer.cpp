#include "editing/WavFilePlayer.h"

#include "program/WavInfo.h"

#include <algorithm>
#include <limits>
#include <new>

namespace velomire::editing {

WavFilePlayer::WavFilePlayer(AudioOutput& output, program::UserMessages& messages,
                             int waveOutDevice)
    : messages(messages), player(output, quiet), waveOutDevice(waveOutDevice) {}

void WavFilePlayer::SetDevice(int device) {
    waveOutDevice = device;
}

int WavFilePlayer::PlayWavFile(const std::string& name) {
    // Another sound, or none, stops the one playing.
    player.Close();
    player.SetTrack({}, 0);
    std::vector<std::int16_t>().swap(track);
    if (name.empty()) {
        return 0;
    }

    program::WavInfo wav(quiet);
    if (!wav.Open(name)) {
        return Refuse(name);
    }
    // The player counts frames in int; longer files are cut there.
    const std::size_t frames =
        std::min<std::size_t>(wav.FrameCount(), std::numeric_limits<int>::max());
    try {
        track.resize(frames);
    } catch (const std::bad_alloc&) {
        return Refuse(name);
    }
    for (auto& frame : track) {
        frame = static_cast<std::int16_t>(wav.ReadFrame(0));
    }
    const std::uint32_t rate = wav.Rate();
    wav.Close();

    player.SetTrack(track, rate);
    player.SetDevice(waveOutDevice);
    player.OnPlay();
    if (!player.IsOpen()) {
        std::vector<std::int16_t>().swap(track);
        return Refuse(name);
    }
    if (!player.CursorRunning()) {
        // An empty data chunk: nothing to hear.
        player.Close();
    }
    return 0;
}

bool WavFilePlayer::OnBlockFinished(std::uint64_t tag) {
    if (!player.IsOpen()) {
        return false;
    }
    if (!player.OnBlockFinished(tag)) {
        player.Close();
        return false;
    }
    return true;
}

int WavFilePlayer::Refuse(const std::string& name) {
    messages.Show("Error: Can't play File !", name);
    return -1;
}

} // namespace velomire::editing
