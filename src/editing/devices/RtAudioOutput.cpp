#include "editing/devices/RtAudioOutput.h"

#include "editing/BlockStream.h"
#include "transfer/devices/QuietSystemLibraries.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <new>
#include <thread>

namespace velomire::editing {

namespace {

// A stereo device gets the mono frames on both channels; more channels are left alone.
constexpr unsigned maxChannels = 2;
// Frames per callback asked of RtAudio: 512 frames is 11.6 ms at 44100 Hz. JACK uses its own
// period instead.
constexpr unsigned callbackFrames = 512;
// How long Queue waits for a place the audio thread has not yet given back, and how often it
// looks.
constexpr std::chrono::milliseconds slotWait{500};
constexpr std::chrono::milliseconds slotPoll{1};

bool Mentions(std::string text, std::initializer_list<const char*> words) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::any_of(words.begin(), words.end(),
                       [&](const char* word) { return text.find(word) != std::string::npos; });
}

// RtAudio reports most failures of opening as SYSTEM_ERROR with a sentence; the sentence is all
// that tells a busy device from a refused rate.
AudioStatus FromRtAudio(const RtAudioError& error) {
    const std::string text = error.getMessage();
    switch (error.getType()) {
    case RtAudioError::INVALID_DEVICE:
        return AudioStatus::Error(AudioError::BadDeviceId, text);
    case RtAudioError::NO_DEVICES_FOUND:
        return AudioStatus::Error(AudioError::NoDriver, text);
    case RtAudioError::MEMORY_ERROR:
        return AudioStatus::Error(AudioError::NoMemory, text);
    case RtAudioError::INVALID_PARAMETER:
        return AudioStatus::Error(AudioError::BadFormat, text);
    default:
        break;
    }
    if (Mentions(text, {"busy", "in use", "won't open", "unavailable"})) {
        return AudioStatus::Error(AudioError::Allocated, text);
    }
    if (Mentions(text, {"sample rate", "format", "channels"})) {
        return AudioStatus::Error(AudioError::BadFormat, text);
    }
    if (Mentions(text, {"server not found", "connection error"})) {
        return AudioStatus::Error(AudioError::NoDriver, text);
    }
    return AudioStatus::Error(AudioError::Other, text);
}

// The device's rate for a sample of `rate` Hz: the same when the device lists it (or lists
// nothing), otherwise the device's preferred rate, or its highest.
std::uint32_t DeviceRate(const RtAudio::DeviceInfo& info, std::uint32_t rate) {
    const auto& rates = info.sampleRates;
    if (rates.empty() || std::find(rates.begin(), rates.end(), rate) != rates.end()) {
        return rate;
    }
    if (info.preferredSampleRate != 0) {
        return info.preferredSampleRate;
    }
    return *std::max_element(rates.begin(), rates.end());
}

std::unique_ptr<RtAudio> OpenApi(int api) {
    auto audio = std::make_unique<RtAudio>(static_cast<RtAudio::Api>(api));
    audio->showWarnings(false);
    return audio;
}

} // namespace

struct RtAudioOutput::Session {
    // The stream is read by the callback, so it goes after the RtAudio stream is closed.
    std::unique_ptr<BlockStream> stream;
    std::unique_ptr<RtAudio> audio;
    BlockFinished finished;
    unsigned channels = 1;
    std::uint32_t rate = 0;

    ~Session() {
        try {
            if (audio && audio->isStreamOpen()) {
                if (audio->isStreamRunning()) {
                    audio->abortStream();
                }
                // Joins RtAudio's callback thread (ALSA, PulseAudio) or closes the JACK client:
                // no callback runs once it has returned.
                audio->closeStream();
            }
        } catch (const std::exception&) {
            // Closing a stream the system has already taken away: nothing left to release.
        }
        audio.reset();
    }

    // Audio thread.
    static int Render(void* out, void*, unsigned frames, double, RtAudioStreamStatus, void* user) {
        auto* session = static_cast<Session*>(user);
        session->stream->Render(
            std::span(static_cast<float*>(out), std::size_t{frames} * session->channels),
            session->channels, session->finished);
        return 0;
    }
};

RtAudioOutput::RtAudioOutput(std::string api, std::string streamName)
    : apiName(std::move(api)), streamName(std::move(streamName)) {}

RtAudioOutput::~RtAudioOutput() {
    Close();
}

std::vector<int> RtAudioOutput::Apis() const {
    std::vector<int> apis;
    if (!apiName.empty()) {
        const RtAudio::Api api = RtAudio::getCompiledApiByName(apiName);
        if (api != RtAudio::UNSPECIFIED) {
            apis.push_back(api);
        }
        return apis;
    }
    std::vector<RtAudio::Api> compiled;
    RtAudio::getCompiledApi(compiled);
    for (const RtAudio::Api api : compiled) {
        if (api != RtAudio::RTAUDIO_DUMMY) {
            apis.push_back(api);
        }
    }
    return apis;
}

std::vector<std::string> RtAudioOutput::DeviceNames() {
    transfer::QuietSystemLibraries();
    devices.clear();
    listed = true;
    for (const int api : Apis()) {
        try {
            auto audio = OpenApi(api);
            const unsigned count = audio->getDeviceCount();
            for (unsigned i = 0; i < count; ++i) {
                try {
                    const RtAudio::DeviceInfo info = audio->getDeviceInfo(i);
                    if (info.probed && info.outputChannels > 0) {
                        devices.push_back({api, info.name});
                    }
                } catch (const std::exception&) {
                    // A device that went away while we listed: it is simply not there.
                }
            }
        } catch (const std::exception&) {
            // A system that cannot be reached has no devices.
        }
    }
    std::vector<std::string> names;
    names.reserve(devices.size());
    for (const Device& device : devices) {
        names.push_back(RtAudio::getApiDisplayName(static_cast<RtAudio::Api>(device.api)) + ": " +
                        device.name);
    }
    return names;
}

AudioStatus RtAudioOutput::Open(int device, std::uint32_t rate) {
    Close();
    transfer::QuietSystemLibraries();
    if (rate == 0 || rate > maxOutputRate) {
        return AudioStatus::Error(AudioError::BadFormat,
                                  "A sample rate of " + std::to_string(rate) + " Hz.");
    }
    if (device != defaultDevice) {
        if (!listed) {
            DeviceNames();
        }
        if (device < 0 || static_cast<std::size_t>(device) >= devices.size()) {
            return AudioStatus::Error(AudioError::BadDeviceId, "There is no output device number " +
                                                                   std::to_string(device) + ".");
        }
    }
    try {
        auto opened = std::make_unique<Session>();
        unsigned id = 0;
        bool found = false;
        if (device == defaultDevice) {
            for (const int api : Apis()) {
                opened->audio = OpenApi(api);
                if (opened->audio->getDeviceCount() > 0) {
                    id = opened->audio->getDefaultOutputDevice();
                    found = true;
                    break;
                }
            }
            if (!found) {
                return AudioStatus::Error(AudioError::NoDriver, "No audio output device.");
            }
        } else {
            const Device& wanted = devices[static_cast<std::size_t>(device)];
            opened->audio = OpenApi(wanted.api);
            const unsigned count = opened->audio->getDeviceCount();
            for (unsigned i = 0; i < count && !found; ++i) {
                if (opened->audio->getDeviceInfo(i).name == wanted.name) {
                    id = i;
                    found = true;
                }
            }
            if (!found) {
                return AudioStatus::Error(AudioError::BadDeviceId,
                                          "The device " + wanted.name + " is gone.");
            }
        }

        const RtAudio::DeviceInfo info = opened->audio->getDeviceInfo(id);
        if (info.outputChannels == 0) {
            // RtAudio found the device but could not open it to look at it: most often another
            // program holds it.
            return AudioStatus::Error(AudioError::Allocated,
                                      "The device " + info.name + " cannot be opened.");
        }
        opened->rate = DeviceRate(info, rate);
        opened->channels = std::min(info.outputChannels, maxChannels);
        opened->stream = std::make_unique<BlockStream>(rate, opened->rate);
        opened->finished = blockFinished;

        RtAudio::StreamParameters parameters;
        parameters.deviceId = id;
        parameters.nChannels = opened->channels;
        RtAudio::StreamOptions options;
        options.streamName = streamName;
        unsigned frames = callbackFrames;
        opened->audio->openStream(&parameters, nullptr, RTAUDIO_FLOAT32, opened->rate, &frames,
                                  &Session::Render, opened.get(), &options);
        // The system may run the stream at another rate than the one asked for (a sound server
        // at its own rate): convert to the rate it really runs at. Not started yet, so the
        // callback cannot be reading the stream being replaced.
        const unsigned streamRate = opened->audio->getStreamSampleRate();
        if (streamRate != 0 && streamRate != opened->rate) {
            opened->rate = streamRate;
            opened->stream = std::make_unique<BlockStream>(rate, opened->rate);
        }
        opened->audio->startStream();
        session = std::move(opened);
        return {};
    } catch (const RtAudioError& error) {
        return FromRtAudio(error);
    } catch (const std::bad_alloc&) {
        return AudioStatus::Error(AudioError::NoMemory);
    } catch (const std::exception& error) {
        return AudioStatus::Error(AudioError::Other, error.what());
    }
}

bool RtAudioOutput::IsOpen() const {
    return session != nullptr;
}

AudioStatus RtAudioOutput::Queue(std::uint64_t tag, std::span<const std::int16_t> frames) {
    if (!session) {
        return AudioStatus::Error(AudioError::Other, "The output is not open.");
    }
    if (frames.empty() || frames.size() > maxBlockFrames) {
        return AudioStatus::Error(AudioError::Other,
                                  "A block of " + std::to_string(frames.size()) + " frames.");
    }
    // Only blocks dropped by a Reset and not yet let go of by the audio thread can fill all four
    // places; that thread lets go of them within one callback.
    const auto deadline = std::chrono::steady_clock::now() + slotWait;
    while (!session->stream->Queue(tag, frames)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return AudioStatus::Error(AudioError::Other, "The device does not take blocks.");
        }
        std::this_thread::sleep_for(slotPoll);
    }
    return {};
}

void RtAudioOutput::Reset() {
    if (session) {
        session->stream->Reset();
    }
}

std::uint64_t RtAudioOutput::SamplesPlayed() const {
    return session ? session->stream->SamplesPlayed() : 0;
}

void RtAudioOutput::Close() {
    session.reset();
}

std::uint32_t RtAudioOutput::StreamRate() const {
    return session ? session->rate : 0;
}

} // namespace velomire::editing
