#pragma once

#include "program/UserMessages.h"
#include "transfer/MidiDriver.h"
#include "transfer/SysExBuffer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace velomire::transfer {

// The one path to MIDI: opens an output port for the length of one send, hands each assembled
// buffer to the driver and paces it to its time on the MIDI wire, and, when tracing, copies every
// buffer byte for byte into the trace dump. The port and the message buffer are one object: the
// message builders fill the buffer and call Send.
class MidiOutPort : public SysExBuffer {
public:
    static constexpr std::chrono::microseconds wireTimePerByte = midiWireTimePerByte;

    MidiOutPort(MidiDriver& driver, WaitClock& clock, program::UserMessages& messages);
    ~MidiOutPort();
    MidiOutPort(const MidiOutPort&) = delete;
    MidiOutPort& operator=(const MidiOutPort&) = delete;

    unsigned GetNumDevs();
    std::string GetDevName(unsigned id);

    // Opens the port of that index; reports a failure under the caption "midiOutOpen".
    bool Open(int deviceId);
    // Starts a fresh dump for this opening of the port. A dump that cannot be created is not
    // written, and the transfer goes on.
    void OpenTrace();
    // Sends the buffer's bytes (dumping them first when tracing), returns no earlier than their
    // wire time after the send began, and empties the buffer whatever the outcome. A port that is
    // not open sends nothing and returns true. A refused buffer is dropped (false); the first
    // refusal of an opening is reported under "midiOutLongMsg".
    bool Send();
    // Closes the port and the dump; the port counts as closed even when the driver fails.
    bool Close();
    void ReportError(const std::string& text, std::string_view caption);

    bool IsOpen() const { return isOpen; }
    bool IsTracing() const { return isTracing; }

    // Where OpenTrace writes; DefaultTracePath() unless set.
    void SetTracePath(std::filesystem::path path) { tracePath = std::move(path); }
    const std::filesystem::path& TracePath() const { return tracePath; }

private:
    MidiDriver& driver;
    program::UserMessages& messages;
    bool isOpen = false;
    bool isTracing = false;
    bool refusalReported = false; // a refused message was reported during this opening
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
