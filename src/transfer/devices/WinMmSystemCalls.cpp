// The WinMM calls behind WinMmMidiDriver and WinMmMidiInDriver, on winmm.dll. Compiled for
// Windows only.
#include "transfer/devices/WinMmMidiDriver.h"
#include "transfer/devices/WinMmMidiInDriver.h"

#include <windows.h>

#include <mmsystem.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <utility>

namespace velomire::transfer {
namespace {

// A device's product name from midiOutGetDevCapsA or midiInGetDevCapsA.
template <typename Caps, typename GetCaps>
MMRESULT ProductName(GetCaps getCaps, unsigned id, std::string& productName) {
    Caps caps{};
    const MMRESULT result = getCaps(id, &caps, sizeof caps);
    if (result == MMSYSERR_NOERROR) {
        caps.szPname[MAXPNAMELEN - 1] = '\0';
        productName = caps.szPname;
    }
    return result;
}

// The system's sentence for an error code, from midiOutGetErrorTextA or midiInGetErrorTextA.
template <typename GetText> std::string ErrorSentence(GetText getText, MMRESULT code) {
    char text[MAXERRORLENGTH] = {};
    if (getText(code, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0') {
        return "MIDI error " + std::to_string(code);
    }
    return text;
}

class SystemWinMmCalls final : public WinMmCalls {
public:
    unsigned GetNumDevs() override { return midiOutGetNumDevs(); }

    Result GetDevCaps(unsigned id, std::string& productName) override {
        return ProductName<MIDIOUTCAPSA>(midiOutGetDevCapsA, id, productName);
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
        return ErrorSentence(midiOutGetErrorTextA, code);
    }

private:
    HMIDIOUT handle = nullptr;
    MIDIHDR header{};
    bool fineTimer = false;
};

class SystemWinMmInCalls final : public WinMmInCalls {
public:
    ~SystemWinMmInCalls() override {
        if (handle != nullptr) {
            Close();
        }
    }

    unsigned GetNumDevs() override { return midiInGetNumDevs(); }

    Result GetDevCaps(unsigned id, std::string& productName) override {
        return ProductName<MIDIINCAPSA>(midiInGetDevCapsA, id, productName);
    }

    Result Open(unsigned id) override {
        {
            const std::lock_guard lock(mutex);
            filled.clear();
        }
        const MMRESULT result = midiInOpen(&handle, id, reinterpret_cast<DWORD_PTR>(&InputCallback),
                                           reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
        if (result != MMSYSERR_NOERROR) {
            handle = nullptr;
        } else {
            // The sender looks for answers in 1 ms steps, not the system's default 15.6 ms.
            fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
        }
        return result;
    }

    Result AddBuffer(std::size_t index, std::span<std::uint8_t> bytes) override {
        if (index >= headers.size()) {
            return MMSYSERR_INVALPARAM;
        }
        MIDIHDR& header = headers[index];
        if (!prepared[index]) {
            header = MIDIHDR{};
            header.lpData = reinterpret_cast<LPSTR>(bytes.data());
            header.dwBufferLength = static_cast<DWORD>(bytes.size());
            header.dwUser = index;
            if (const MMRESULT result = midiInPrepareHeader(handle, &header, sizeof header);
                result != MMSYSERR_NOERROR) {
                return result;
            }
            prepared[index] = true;
        }
        header.dwBytesRecorded = 0;
        return midiInAddBuffer(handle, &header, sizeof header);
    }

    std::vector<Filled> TakeFilled() override {
        const std::lock_guard lock(mutex);
        return std::exchange(filled, {});
    }

    Result Start() override { return midiInStart(handle); }

    Result Close() override {
        midiInReset(handle);
        for (std::size_t i = 0; i < headers.size(); ++i) {
            if (prepared[i]) {
                midiInUnprepareHeader(handle, &headers[i], sizeof headers[i]);
                prepared[i] = false;
            }
        }
        const MMRESULT result = midiInClose(handle);
        handle = nullptr;
        if (fineTimer) {
            timeEndPeriod(1);
            fineTimer = false;
        }
        return result;
    }

    std::string ErrorText(Result code) override { return ErrorSentence(midiInGetErrorTextA, code); }

private:
    // On the system's thread: only notes which buffer came back; the driver's own thread takes
    // the bytes and lends the buffer again (WinMM calls are not to be made from here).
    static void CALLBACK InputCallback(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                       DWORD_PTR) {
        if (message != MIM_LONGDATA && message != MIM_LONGERROR) {
            return;
        }
        auto* self = reinterpret_cast<SystemWinMmInCalls*>(instance);
        const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
        const std::lock_guard lock(self->mutex);
        self->filled.push_back({static_cast<std::size_t>(header->dwUser),
                                static_cast<std::size_t>(header->dwBytesRecorded),
                                std::chrono::steady_clock::now()});
    }

    HMIDIIN handle = nullptr;
    std::array<MIDIHDR, WinMmMidiInDriver::bufferCount> headers{};
    std::array<bool, WinMmMidiInDriver::bufferCount> prepared{};
    bool fineTimer = false;
    std::mutex mutex;
    std::vector<Filled> filled;
};

} // namespace

std::unique_ptr<WinMmCalls> MakeSystemWinMmCalls() {
    return std::make_unique<SystemWinMmCalls>();
}

std::unique_ptr<WinMmInCalls> MakeSystemWinMmInCalls() {
    return std::make_unique<SystemWinMmInCalls>();
}

} // namespace velomire::transfer
