#include "app/WavPreview.h"

namespace velomire::app {

WavPreview::WavPreview(std::unique_ptr<editing::AudioOutput> output,
                       program::UserMessages& messages, std::function<int()> device,
                       QObject* parent)
    : QObject(parent), output(std::move(output)), device(std::move(device)),
      player(*this->output, messages) {
    this->output->SetBlockFinished([this](std::uint64_t tag) { finished.Push(tag); });
    drainTimer.setInterval(10);
    connect(&drainTimer, &QTimer::timeout, this, &WavPreview::Drain);
}

WavPreview::~WavPreview() {
    player.PlayWavFile("");
    output->Close();
}

int WavPreview::Play(const std::string& name) {
    player.SetDevice(device ? device() : editing::AudioOutput::defaultDevice);
    const int result = player.PlayWavFile(name);
    if (player.IsPlaying()) {
        drainTimer.start();
    } else {
        drainTimer.stop();
    }
    return result;
}

void WavPreview::Drain() {
    while (const auto tag = finished.Pop()) {
        if (!player.OnBlockFinished(*tag)) {
            drainTimer.stop();
        }
    }
}

} // namespace velomire::app
