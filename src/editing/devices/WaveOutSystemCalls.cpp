// The waveOut calls behind WaveOutAudioOutput, on winmm.dll. Compiled for Windows only.
#include "editing/devices/WaveOutAudioOutput.h"

#include <windows.h>

#include <mmsystem.h>

#include <array>
#include <string>

namespace velomire::editing {
namespace {

class SystemWaveOutCalls final : public WaveOutCalls {
public:
    unsigned GetNumDevs() override { return waveOutGetNumDevs(); }

    Result GetDevCaps(unsigned id, std::string& productName) override {
        WAVEOUTCAPSA caps{};
        const MMRESULT result = waveOutGetDevCapsA(id, &caps, sizeof caps);
        if (result == MMSYSERR_NOERROR) {
            caps.szPname[MAXPNAMELEN - 1] = '\0';
            productName = caps.szPname;
        }
        return result;
    }

    Result Open(int id, std::uint32_t rate, Done done, void* context) override {
        doneReport = done;
        doneContext = context;
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 1;
        format.nSamplesPerSec = rate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 2;
        format.nAvgBytesPerSec = rate * 2;
        const UINT device = id == mapper ? WAVE_MAPPER : static_cast<UINT>(id);
        return waveOutOpen(&handle, device, &format, reinterpret_cast<DWORD_PTR>(&Callback),
                           reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    }

    Result Write(std::size_t place, std::span<const std::int16_t> frames) override {
        WAVEHDR& header = headers[place];
        if ((header.dwFlags & WHDR_PREPARED) != 0) {
            const MMRESULT result = waveOutUnprepareHeader(handle, &header, sizeof header);
            if (result != MMSYSERR_NOERROR) {
                return result;
            }
        }
        header = WAVEHDR{};
        // WinMM only reads the frames of an output header.
        header.lpData = reinterpret_cast<LPSTR>(const_cast<std::int16_t*>(frames.data()));
        header.dwBufferLength = static_cast<DWORD>(frames.size_bytes());
        header.dwUser = place;
        MMRESULT result = waveOutPrepareHeader(handle, &header, sizeof header);
        if (result == MMSYSERR_NOERROR) {
            result = waveOutWrite(handle, &header, sizeof header);
        }
        return result;
    }

    Result Reset() override { return waveOutReset(handle); }

    Result Position(std::uint64_t& samples) override {
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        const MMRESULT result = waveOutGetPosition(handle, &time, sizeof time);
        if (result != MMSYSERR_NOERROR) {
            return result;
        }
        // A driver that cannot count samples answers in bytes: two bytes a frame.
        samples = time.wType == TIME_SAMPLES ? time.u.sample
                  : time.wType == TIME_BYTES ? time.u.cb / 2
                                             : 0;
        return MMSYSERR_NOERROR;
    }

    Result Close() override {
        for (WAVEHDR& header : headers) {
            if ((header.dwFlags & WHDR_PREPARED) != 0) {
                waveOutUnprepareHeader(handle, &header, sizeof header);
            }
            header = WAVEHDR{};
        }
        const MMRESULT result = waveOutClose(handle);
        handle = nullptr;
        return result;
    }

    std::string ErrorText(Result code) override {
        char text[MAXERRORLENGTH] = {};
        if (waveOutGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0') {
            return "Wave output error " + std::to_string(code);
        }
        return text;
    }

private:
    // WinMM's thread. Only the done report: a waveOut callback must not call waveOut itself.
    static void CALLBACK Callback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR parameter,
                                  DWORD_PTR) {
        if (message != WOM_DONE) {
            return;
        }
        auto* calls = reinterpret_cast<SystemWaveOutCalls*>(instance);
        const auto* header = reinterpret_cast<const WAVEHDR*>(parameter);
        calls->doneReport(calls->doneContext, static_cast<std::size_t>(header->dwUser));
    }

    HWAVEOUT handle = nullptr;
    std::array<WAVEHDR, WaveOutAudioOutput::places> headers{};
    Done doneReport = nullptr;
    void* doneContext = nullptr;
};

} // namespace

std::unique_ptr<WaveOutCalls> MakeSystemWaveOutCalls() {
    return std::make_unique<SystemWaveOutCalls>();
}

} // namespace velomire::editing
