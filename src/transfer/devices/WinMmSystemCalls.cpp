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

    Result Open(unsigned id) override { return midiOutOpen(&handle, id, 0, 0, CALLBACK_NULL); }

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

    Result Close() override { return midiOutClose(handle); }

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
};

} // namespace

std::unique_ptr<WinMmCalls> MakeSystemWinMmCalls() {
    return std::make_unique<SystemWinMmCalls>();
}

} // namespace velomire::transfer
