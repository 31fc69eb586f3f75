// The WinMM calls behind WinMmMidiDriver, on winmm.dll. Compiled for Windows only.
#include "transfer/devices/WinMmMidiDriver.h"

#include <windows.h>

#include <mmsystem.h>

#include <atomic>

namespace velomire::transfer {
namespace {

class SystemWinMmCalls final : public WinMmCalls {
public:
    unsigned GetNumDevs() override { return midiOutGetNumDevs(); }

    Result GetDevCaps(unsigned id, std::string& productName) override {
        MIDIOUTCAPSA caps{};
        const MMRESULT result = midiOutGetDevCapsA(id, &caps, sizeof caps);
        if (result == MMSYSERR_NOERROR) {
            caps.szPname[MAXPNAMELEN - 1] = '\0';
            productName = caps.szPname;
        }
        return result;
    }

    Result Open(unsigned id) override {
        const MMRESULT result = midiOutOpen(&handle, id, 0, 0, CALLBACK_NULL);
        // The waits for done and between messages sleep in 1 ms steps, not the system's default
        // 15.6 ms, while the device is open.
        if (result == MMSYSERR_NOERROR) {
            fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
        }
        return result;
    }

    Result PrepareHeader(std::span<const std::uint8_t> bytes) override {
        header = MIDIHDR{};
        // WinMM only reads the bytes of an output header.
        header.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(bytes.data()));
        header.dwBufferLength = static_cast<DWORD>(bytes.size());
        return midiOutPrepareHeader(handle, &header, sizeof header);
    }

    Result LongMsg() override { return midiOutLongMsg(handle, &header, sizeof header); }

    bool HeaderDone() override {
        return (std::atomic_ref<DWORD>(header.dwFlags).load() & MHDR_DONE) != 0;
    }

    Result UnprepareHeader() override {
        return midiOutUnprepareHeader(handle, &header, sizeof header);
    }

    Result Reset() override { return midiOutReset(handle); }

    Result Close() override {
        if (fineTimer) {
            timeEndPeriod(1);
            fineTimer = false;
        }
        return midiOutClose(handle);
    }

    std::string ErrorText(Result code) override {
        char text[MAXERRORLENGTH] = {};
        if (midiOutGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0') {
            return "MIDI error " + std::to_string(code);
        }
        return text;
    }

private:
    HMIDIOUT handle = nullptr;
    MIDIHDR header{};
    bool fineTimer = false;
};

} // namespace

std::unique_ptr<WinMmCalls> MakeSystemWinMmCalls() {
    return std::make_unique<SystemWinMmCalls>();
}

} // namespace velomire::transfer
