#pragma once

#include "editing/AudioOutput.h"
#include "editing/FinishedBlockQueue.h"
#include "editing/WavFilePlayer.h"
#include "program/UserMessages.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace velomire::app {

// The one-call preview of a WAV file (double-click in Select Samples) on the chosen wave output.
//
// Threading: Play and the timer run on the UI thread. The output reports finished blocks on its
// audio thread into `finished`, a lock-free queue, which the timer drains every 10 ms while a
// file plays; nothing on the audio thread waits for the UI.
class WavPreview : public QObject {
public:
    // `device` tells the wave output device of the settings at the moment of playing.
    WavPreview(std::unique_ptr<editing::AudioOutput> output, program::UserMessages& messages,
               std::function<int()> device, QObject* parent = nullptr);
    ~WavPreview() override;

    // 0 when the file starts playing, -1 after "Error: Can't play File !"; "" stops.
    int Play(const std::string& name);

private:
    void Drain();

    std::unique_ptr<editing::AudioOutput> output;
    std::function<int()> device;
    editing::FinishedBlockQueue finished;
    editing::WavFilePlayer player;
    QTimer drainTimer;
};

} // namespace velomire::app
