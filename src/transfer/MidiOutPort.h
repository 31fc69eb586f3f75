#pragma once

#include "program/UserMessages.h"
#include "transfer/MidiDriver.h"
#include "transfer/SysExBuffer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velomire::transfer {

// The one path to MIDI: opens an output port for the length of one send, hands each assembled
// buffer to the driver and paces it to its time on the MIDI wire, and, when tracing, copies every
// buffer byte for byte into the trace dump. The port and the message buffer are one object: the
// message builders fill the buffer and call Send.
//
// An opening ends early in one of two ways, after which Send hands nothing more to the driver and
// waits return at once, so the message builders run out quickly:
// - the driver refuses a buffer (a device that stopped taking data, a destination that has gone):
//   `Ending::failed`, with the driver's text;
// - RequestCancel: the next Send does not go out (`Ending::cancelled`). A System Exclusive message
//   left open by the pieces already sent is closed with one F7 first, so the receiver's parser is
//   not left inside it.
class MidiOutPort : public SysExBuffer {
public:
    static constexpr std::chrono::microseconds wireTimePerByte = midiWireTimePerByte;

    enum class Ending { none, cancelled, failed };
    // Runs after each buffer has been handed over and has had its wire time, with its bytes; a
    // failure ends the opening as a refused buffer does. The place for a handshake that waits for
    // the receiver's answer to each message.
    using MessageHook = std::function<MidiStatus(std::span<const std::uint8_t>)>;

    MidiOutPort(MidiDriver& driver, WaitClock& clock, program::UserMessages& messages);
    ~MidiOutPort() override;
    MidiOutPort(const MidiOutPort&) = delete;
    MidiOutPort& operator=(const MidiOutPort&) = delete;

    unsigned GetNumDevs();
    std::string GetDevName(unsigned id);
    // The output ports as Open counts them.
    std::vector<std::string> PortNames() { return driver.PortNames(); }

    // Opens the port of that index; reports a failure under the caption "midiOutOpen".
    bool Open(int deviceId);
    // Starts a fresh dump for this opening of the port. A dump that cannot be created is not
    // written, and the transfer goes on.
    void OpenTrace();
    // Sends the buffer's bytes (dumping them first when tracing), returns no earlier than their
    // wire time after the send began, and empties the buffer whatever the outcome. A port that is
    // not open sends nothing and returns true. Once the opening has ended (see above) nothing is
    // sent or dumped and the result is false; the caller reports the ending.
    bool Send();
    // Closes the port and the dump; the port counts as closed even when the driver fails.
    bool Close();
    void ReportError(const std::string& text, std::string_view caption);

    // Asks the running send to stop before its next buffer. Safe from any thread.
    void RequestCancel() { cancelRequested.store(true, std::memory_order_relaxed); }
    // Ends the opening now if a cancel is pending (as the next Send would): closes a System
    // Exclusive message left open and sends the cancel message, if one is set.
    void EndIfCancelled();
    // The message that tells the receiver the transfer is cancelled (the handshake's CANCEL for
    // the packet in progress); empty for none. Sent once, when a cancel ends the opening.
    void SetCancelMessage(std::vector<std::uint8_t> bytes) { cancelMessage = std::move(bytes); }
    // True once the opening has ended or a cancel is pending: nothing more will go out.
    bool Stopping() const {
        return ending != Ending::none || cancelRequested.load(std::memory_order_relaxed);
    }
    Ending EndedBy() const { return ending; }
    // The driver's text for a failed ending.
    const std::string& FailureText() const { return failureText; }
    // The port's name while open (and after, until the next Open).
    const std::string& DeviceName() const { return deviceName; }
    // The driver's missed cycles (see MidiDriver) of this opening, also after Close.
    std::uint32_t MissedCycles() const { return driver.MissedCycles(); }
    void SetMessageHook(MessageHook hook) { messageHook = std::move(hook); }

    bool IsOpen() const { return isOpen; }
    bool IsTracing() const { return isTracing; }

    // Where OpenTrace writes; DefaultTracePath() unless set.
    void SetTracePath(std::filesystem::path path) { tracePath = std::move(path); }
    const std::filesystem::path& TracePath() const { return tracePath; }

protected:
    bool WaitInterrupted() const override { return Stopping(); }

private:
    // Hands bytes to the driver, dumping them first; a refusal ends the opening.
    bool Write(std::span<const std::uint8_t> bytes);

    MidiDriver& driver;
    program::UserMessages& messages;
    bool isOpen = false;
    bool isTracing = false;
    Ending ending = Ending::none;
    std::atomic<bool> cancelRequested{false};
    // The bytes handed over so far leave a System Exclusive message open (an F0 without its F7).
    bool insideSysEx = false;
    std::string failureText;
    std::string deviceName;
    MessageHook messageHook;
    std::vector<std::uint8_t> cancelMessage;
    std::filesystem::path tracePath;
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> traceFile;
};

// The trace dump: $VELOMIRE_TRACE_FILE when set; else "c:\mididump.chk" on Windows and
// "mididump.chk" in the home directory elsewhere.
std::filesystem::path DefaultTracePath();

} // namespace velomire::transfer
