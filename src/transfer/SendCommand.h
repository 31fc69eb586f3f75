#pragma once

#include "program/Program.h"
#include "program/UserMessages.h"
#include "transfer/Librarian.h"
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/NumberMemory.h"
#include "transfer/ProgramSummary.h"
#include "transfer/SafeNumbers.h"
#include "transfer/SamplerSettings.h"
#include "transfer/TransferContext.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velomire::transfer {

class Family;

// The numbers of programs and samples already in the sampler, as the numbers dialog shows them,
// with the limits of its two spins.
struct SendNumbers {
    std::int32_t programs = 0;
    std::int32_t samples = 0;
    std::int32_t programLimit = 0;
    std::int32_t sampleLimit = 0;
    // Where the proposal comes from, for the dialog: "Proposed: where the last send to the
    // S3000 XL ended."
    std::string origin{};
    // What the sampler holds, when it said so just before the send, and what the send puts in.
    std::optional<NumbersInUse> inUse{};
    // The sampler was asked what it holds (`origin` says so when it did not answer).
    bool samplerAsked = false;
    SendShape shape{};

    // What sending from the numbers shown would overwrite; empty when nothing or not known.
    std::string Warning() const {
        return inUse ? OverwriteWarning(*inUse, shape, programs, samples) : std::string{};
    }
};

// What a send shows and asks: the desktop application puts up its dialogs and the "Sending ..."
// window, the command line prints and answers from its options, tests record.
class SendUi : public SendProgress {
public:
    // The wait cursor, from the first check to the end of the command.
    virtual void BeginWait() {}
    virtual void EndWait() {}
    // "Program Summary": true when the user chose "Send".
    virtual bool ConfirmSummary(const ProgramSummary& summary) = 0;
    // "Program and Sample number": true with the dialog's values in `numbers` after OK, false
    // when the user cancelled (nothing is sent then).
    virtual bool AskNumbers(SendNumbers& numbers) = 0;
    // The first sample number the user gave before the send (the command line's option): the
    // sampler is asked about the numbers from there too.
    virtual std::optional<std::int32_t> GivenSampleNumber() const { return std::nullopt; }
    // The "Sending ..." window: opened with its title, one line per sample part and program,
    // closed at the end.
    virtual void OpenSending(const std::string& title) = 0;
    virtual void AddLine(const std::string& line) = 0;
    virtual void CloseSending() = 0;
    // A send that failed: the window shows why (`ending`) and stays, with every line, until the
    // user closes it. Without such a window it closes as after any send.
    virtual void KeepSending(const std::string& ending) {
        static_cast<void>(ending);
        CloseSending();
    }
};

// The Send command: checks the program, the settings and the sample files, asks for the numbers,
// and sends every sample part and, for the Akai samplers, the program, through the port.
class SendCommand {
public:
    // cancelled: the user declined before anything was sent; interrupted: cancelled during the
    // transfer; stopped: the device stopped taking data (or went away) during the transfer.
    // sentWithWarning: everything went out, but the sampler may not have it all as sent (it
    // reported damaged blocks, or the MIDI system missed cycles on the way): the report says so
    // in short and Warnings() gives what the user must read besides.
    enum class Outcome { sent, refused, cancelled, interrupted, stopped, sentWithWarning };

    SendCommand(program::Program& program, SamplerSettings& settings, MidiOutPort& port,
                program::UserMessages& messages, SendUi& ui);

    Outcome OnSendProgram();

    // Where the sampler answers: when set and the settings name a MIDI input device, the send
    // is closed-loop (the port is opened for the length of the send). One-way otherwise.
    void SetReplyPort(MidiInPort* in) { replyPort = in; }
    // How the sampler is asked what it holds: with one, and a reply port, the numbers dialog
    // proposes the first free numbers a List read (within listWait, and listProbeWait a part)
    // and warns of those in use.
    using LibrarianFactory =
        std::function<std::unique_ptr<Librarian>(std::int32_t model, const LibrarianPorts& ports)>;
    void SetLibrarianFactory(LibrarianFactory factory) { makeLibrarian = std::move(factory); }
    static constexpr std::chrono::milliseconds listWait{5000};
    // Added to listWait for each part: a sampler without a catalogue is asked number by number.
    static constexpr std::chrono::milliseconds listProbeWait{500};
    // Where the numbers of each model are kept across restarts: the proposal comes from there,
    // and every send that asked for numbers leaves its counters there. Without it the counters
    // of the program are the memory, as long as the application runs.
    void SetNumberMemory(NumberMemory* memory, SettingsStore* store) {
        numberMemory = memory;
        numberStore = store;
    }

    // Counts the parts and words to send, checks every sample file, stores the result in the
    // header's filesChecked, and shows the summary. True when every file passed and the user
    // chose "Send".
    bool CheckBeforeSend();

    // After a send: "Sent 3 samples and the program in 3 min 12 s", with what the user must check
    // in brackets ("(2 damaged blocks in sample #4: send it again)"); empty when nothing was sent.
    const std::string& Report() const { return report; }
    // After a send that ended with sentWithWarning: the warnings to show besides the report.
    const std::vector<std::string>& Warnings() const { return warnings; }
    // "Warning: JACK missed 3 cycles during the transfer; ..."
    static std::string MissedCyclesWarning(std::uint32_t cycles);
    static std::string ReportText(std::uint32_t samples, bool withProgram, double seconds);

    // "Sending piano.wav [piano] ...Left channel as sample#4"
    static std::string SampleLine(const program::SampleBlock& sample, int part, int number);

private:
    struct Sending; // what one transfer keeps from its first part to its report

    // The steps of a send, in order. The steps that may end it return how it ended (the ports
    // closed and the user told), nothing while it goes on.
    Outcome Transfer();
    // Refuses a send without a sampler or a Midi Out device; makes the channels non-negative.
    bool SettingsChosen();
    // Finds both saved ports, then opens the output and, with `withReplies`, the input; false
    // when refused (said so, nothing left open).
    bool OpenPorts(bool withReplies);
    // Proposes the numbers, asks for them, and sets the counters to the numbers the family takes.
    std::optional<Outcome> ChooseNumbers(const Sending& sending, bool withReplies);
    // Opens the "Sending ..." window, numbers the program's header and starts listening.
    void BeginSending(Sending& sending, bool withReplies);
    std::optional<Outcome> SendSampleParts(Sending& sending);
    std::optional<Outcome> SendPart(Sending& sending, int entry, int part);
    std::optional<Outcome> SendTheProgram(Sending& sending);
    // Closes the port and writes the report of a send that went to its end.
    Outcome EndSent(Sending& sending);
    // The saved port's position in today's list; refuses (and says which port is missing) when a
    // port saved by name is not there.
    std::optional<int> FindOutPort();
    std::optional<int> FindInPort();
    // Sets the counters to the proposal for this model and says where it comes from.
    std::string ProposeNumbers(std::int32_t model);
    // Lists the sampler's programs and samples and, when it answered, proposes the first free
    // numbers in `numbers`; leaves the proposal as it was otherwise.
    void ProposeFreeNumbers(std::int32_t model, SendNumbers& numbers);
    // Reports how a transfer that ended early got on, and closes the port.
    Outcome EndEarly(std::uint32_t partsSent);
    // Reports why the sampler stopped the transfer, and which part sent before it may hold
    // incomplete (empty: none), and closes the port.
    Outcome EndBySampler(const std::string& reason, const std::string& unconfirmedPart);

    program::Program& program;
    SamplerSettings& settings;
    MidiOutPort& port;
    program::UserMessages& messages;
    SendUi& ui;
    std::string report;
    std::vector<std::string> warnings;
    MidiInPort* replyPort = nullptr;
    LibrarianFactory makeLibrarian;
    NumberMemory* numberMemory = nullptr;
    SettingsStore* numberStore = nullptr;
    bool numbersTaken = false; // the user has answered the numbers dialog in this command
    std::string outName;       // the ports of this command, as listed
    std::string inName;
};

} // namespace velomire::transfer
