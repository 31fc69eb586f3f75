#include "editing/devices/WaveOutAudioOutput.h"

#include "transfer/devices/WinMmMidiDriver.h"

#include <utility>

namespace velomire::editing {

namespace {

AudioError ErrorOf(WaveOutCalls::Result code) {
    switch (code) {
    case WaveOutCalls::badDeviceId:
        return AudioError::BadDeviceId;
    case WaveOutCalls::allocated:
        return AudioError::Allocated;
    case WaveOutCalls::noDriver:
        return AudioError::NoDriver;
    case WaveOutCalls::noMemory:
        return AudioError::NoMemory;
    case WaveOutCalls::badFormat:
        return AudioError::BadFormat;
    case WaveOutCalls::synchronous:
        return AudioError::Sync;
    default:
        return AudioError::Other;
    }
}

} // namespace

WaveOutAudioOutput::WaveOutAudioOutput(std::unique_ptr<WaveOutCalls> calls,
                                       std::unique_ptr<transfer::WaitClock> clock)
    : calls(std::move(calls)), clock(std::move(clock)) {
    for (Place& place : queue) {
        place.frames.reserve(maxBlockFrames);
    }
}

WaveOutAudioOutput::~WaveOutAudioOutput() {
    Close();
}

std::vector<std::string> WaveOutAudioOutput::DeviceNames() {
    return transfer::WinMmDeviceNames(
        calls->GetNumDevs(),
        [this](unsigned id, std::string& name) { return calls->GetDevCaps(id, name); },
        "Wave output");
}

AudioStatus WaveOutAudioOutput::Failure(WaveOutCalls::Result code) {
    return AudioStatus::Error(ErrorOf(code), calls->ErrorText(code));
}

AudioStatus WaveOutAudioOutput::Open(int device, std::uint32_t rate) {
    Close();
    if (rate == 0 || rate > maxOutputRate) {
        return AudioStatus::Error(AudioError::BadFormat,
                                  "A sample rate of " + std::to_string(rate) + " Hz.");
    }
    if (device != defaultDevice && device < 0) {
        return Failure(WaveOutCalls::badDeviceId);
    }
    finished = blockFinished;
    reporting = true;
    const WaveOutCalls::Result result =
        calls->Open(device == defaultDevice ? WaveOutCalls::mapper : device, rate, &OnDone, this);
    if (result != WaveOutCalls::noError) {
        reporting = false;
        return Failure(result);
    }
    isOpen = true;
    return {};
}

bool WaveOutAudioOutput::IsOpen() const {
    return isOpen;
}

AudioStatus WaveOutAudioOutput::Queue(std::uint64_t tag, std::span<const std::int16_t> frames) {
    if (!isOpen) {
        return AudioStatus::Error(AudioError::Other, "The output is not open.");
    }
    if (frames.empty() || frames.size() > maxBlockFrames) {
        return AudioStatus::Error(AudioError::Other,
                                  "A block of " + std::to_string(frames.size()) + " frames.");
    }
    // All four places are only held when blocks dropped by a Reset have not yet been handed
    // back; the system hands them back within moments.
    const transfer::WaitClock::TimePoint deadline = clock->Now() + placeWait;
    Place* free = nullptr;
    while (free == nullptr) {
        for (Place& place : queue) {
            if (!place.busy.load(std::memory_order_acquire)) {
                free = &place;
                break;
            }
        }
        if (free == nullptr) {
            if (clock->Now() >= deadline) {
                return AudioStatus::Error(AudioError::Other, "The device does not take blocks.");
            }
            clock->SleepUntil(clock->Now() + placePoll);
        }
    }
    free->frames.assign(frames.begin(), frames.end());
    free->tag = tag;
    free->busy.store(true, std::memory_order_release);
    const WaveOutCalls::Result result =
        calls->Write(static_cast<std::size_t>(free - queue.data()), free->frames);
    if (result != WaveOutCalls::noError) {
        free->busy.store(false, std::memory_order_release);
        return Failure(result);
    }
    return {};
}

void WaveOutAudioOutput::OnDone(void* context, std::size_t place) {
    auto* output = static_cast<WaveOutAudioOutput*>(context);
    if (place >= places) {
        return;
    }
    Place& done = output->queue[place];
    if (output->reporting.load(std::memory_order_acquire) && output->finished) {
        output->finished(done.tag);
    }
    done.busy.store(false, std::memory_order_release);
}

void WaveOutAudioOutput::Reset() {
    if (isOpen) {
        calls->Reset();
    }
}

std::uint64_t WaveOutAudioOutput::SamplesPlayed() const {
    std::uint64_t samples = 0;
    if (!isOpen || calls->Position(samples) != WaveOutCalls::noError) {
        return 0;
    }
    return samples;
}

void WaveOutAudioOutput::Close() {
    if (!isOpen) {
        return;
    }
    // The blocks the reset drops are not reported: the handler is not called once Close returns.
    reporting.store(false, std::memory_order_release);
    calls->Reset();
    calls->Close();
    for (Place& place : queue) {
        place.busy.store(false, std::memory_order_relaxed);
    }
    isOpen = false;
}

} // namespace velomire::editing
