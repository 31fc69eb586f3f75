#include "transfer/SendCommand.h"

#include "program/StereoNames.h"
#include "program/WavInfo.h"
#include "transfer/HandshakeSend.h"
#include "transfer/OffPitch.h"
#include "transfer/PortNames.h"
#include "transfer/SamplerModel.h"
#include "transfer/families/Family.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>

namespace velomire::transfer {
namespace {

using program::appCaption;
constexpr std::int32_t highestNumber = 65535;

const char* PartText(int part) {
    switch (part) {
    case 1:
        return "Left channel";
    case 2:
        return "Right channel";
    default:
        return "Mono";
    }
}

// Keeps a reader's refusals to itself: the check reports in its own words.
class QuietMessages final : public program::UserMessages {
public:
    void Show(std::string_view, std::string_view) override {}
};

// The entry's sound (soundStart and lengthWords words from there, in every channel) lies inside
// the file's frames. A program file can hold any values, and the senders would otherwise read
// silence past the file's end for as long as lengthWords says (up to 2^32 words).
bool SoundInsideFile(const program::SampleBlock& sample, const std::filesystem::path& file) {
    QuietMessages quiet;
    program::WavInfo wav(quiet);
    if (!wav.Open(file, file.filename().string())) {
        return false;
    }
    return std::uint64_t{sample.soundStart} + sample.lengthWords <= wav.FrameCount();
}

} // namespace

SendCommand::SendCommand(program::Program& program, SamplerSettings& settings, MidiOutPort& port,
                         program::UserMessages& messages, SendUi& ui)
    : program(program), settings(settings), port(port), messages(messages), ui(ui) {}

std::string SendCommand::SampleLine(const program::SampleBlock& sample, int part, int number) {
    return "Sending " + program::FieldText(sample.fileName) + " [" +
           program::FieldText(sample.sampleName) + "] ..." + PartText(part) + " as sample#" +
           std::to_string(number);
}

SendCommand::Outcome SendCommand::OnSendProgram() {
    if (!program.programCreated) {
        messages.Show("Create a program first !", appCaption);
        return Outcome::refused;
    }
    report.clear();
    warnings.clear();
    ui.BeginWait();
    numbersTaken = false;
    const Outcome outcome = Transfer();
    // However the command ended, the next one (also after a restart) proposes what this one
    // reached.
    if (numbersTaken && numberMemory != nullptr && numberStore != nullptr) {
        numberMemory->Remember(settings.samplerModel,
                               {program.nextProgramNumber, program.nextSampleNumber}, *numberStore);
    }
    ui.EndWait();
    return outcome;
}

std::optional<int> SendCommand::FindOutPort() {
    const std::vector<std::string> names = port.PortNames();
    const auto found = FindSavedPort(names, settings.midiOutName, settings.midiOutDevice);
    if (found) {
        outName = names[static_cast<std::size_t>(*found)];
        return found;
    }
    if (settings.midiOutName.empty()) {
        return settings.midiOutDevice; // Open says that there is no such port
    }
    messages.Show("The Midi Out device \"" + settings.midiOutName +
                      "\" is not there. Connect it (or start it), or choose another in Options; "
                      "nothing was sent.",
                  appCaption);
    return std::nullopt;
}

std::optional<int> SendCommand::FindInPort() {
    const std::vector<std::string> names = replyPort->PortNames();
    const auto found = FindSavedPort(names, settings.midiInName, settings.midiInDevice);
    if (found) {
        inName = names[static_cast<std::size_t>(*found)];
        return found;
    }
    if (settings.midiInName.empty()) {
        return settings.midiInDevice;
    }
    messages.Show("The Midi In device \"" + settings.midiInName +
                      "\" is not there. Connect it (or start it), or choose another (or None) in "
                      "Options; nothing was sent.",
                  appCaption);
    return std::nullopt;
}

std::string SendCommand::ProposeNumbers(std::int32_t model) {
    const std::string sampler = "the " + std::string(SamplerModel::Find(model)->shortName);
    if (numberMemory != nullptr) {
        if (const auto remembered = numberMemory->For(model)) {
            program.nextProgramNumber = remembered->programs;
            program.nextSampleNumber = remembered->samples;
            return "Proposed: where the last send to " + sampler + " ended.";
        }
        // Another model's numbers say nothing about this sampler.
        program.nextProgramNumber = 0;
        program.nextSampleNumber = 0;
    }
    if (program.nextProgramNumber + program.nextSampleNumber != 0) {
        return "Proposed: where the last send ended.";
    }
    const FirstNumbers first = FamilyOf(model)->FirstSendNumbers();
    program.nextProgramNumber = first.program;
    program.nextSampleNumber = first.sample;
    return "Proposed: the usual numbers for a first send to " + sampler + ".";
}

void SendCommand::ProposeFreeNumbers(std::int32_t model, SendNumbers& numbers) {
    // A sampler without a catalogue (SDS) is probed from 0 up to the first run of empty numbers
    // the send fits into, and over the numbers the user gave, if any.
    const std::int32_t parts = std::max(numbers.shape.sampleParts, 1);
    // Limits the settings leave unset (0, as the command line has them) do not hold numbers back.
    const auto limit = [](std::int32_t set) { return set > 0 ? set : highestNumber + 1; };
    std::vector<LibrarianPorts> probes{{port, *replyPort, settings.midiChannel & 0x7F,
                                        settings.exclusiveChannel & 0x7F, 0,
                                        limit(numbers.sampleLimit) + parts, parts}};
    if (const auto given = ui.GivenSampleNumber()) {
        LibrarianPorts range = probes.front();
        range.probeFirst = *given;
        range.probeLast = *given + parts - 1;
        range.probeGap = 0;
        probes.push_back(range);
    }
    // However the family waits, the dialog comes up within listWait and a probe of each part's
    // number (or at the user's Cancel).
    const WaitClock::TimePoint deadline = port.Now() + listWait + parts * listProbeWait;
    const auto late = [this, deadline] { return port.Stopping() || port.Now() >= deadline; };
    replyPort->SetStopCheck(late);
    struct BoundedList final : LibrarianProgress {
        std::function<bool()> late;
        void Progress(std::uint64_t, std::uint64_t) override {}
        bool Cancelled() override { return late(); }
    } progress;
    progress.late = late;
    std::vector<SamplerEntry> entries;
    LibrarianResult listed;
    for (const LibrarianPorts& ports : probes) {
        const std::unique_ptr<Librarian> librarian = makeLibrarian(model, ports);
        if (!librarian) {
            replyPort->SetStopCheck([this] { return port.Stopping(); });
            return; // a model that cannot be read back
        }
        numbers.samplerAsked = true;
        std::vector<SamplerEntry> found;
        listed = librarian->List(found, progress);
        if (!listed.Ok()) {
            break;
        }
        entries.insert(entries.end(), found.begin(), found.end());
    }
    replyPort->SetStopCheck([this] { return port.Stopping(); });
    const std::string sampler(SamplerModel::Find(model)->shortName);
    if (!listed.Ok()) {
        numbers.origin += " The " + sampler + " did not say which numbers it holds.";
        return;
    }
    numbers.inUse = NumbersInUse::From(entries);
    const auto free = FirstFreeNumbers(*numbers.inUse, numbers.shape, limit(numbers.programLimit),
                                       limit(numbers.sampleLimit));
    if (!free) {
        numbers.origin += " The " + sampler + " has no free numbers for all of this program.";
        return;
    }
    if (numbers.shape.withProgram) {
        numbers.programs = free->programs;
    }
    numbers.samples = free->samples;
    numbers.origin =
        "Proposed: the first free numbers in the " + sampler + ", as it said just now.";
}

// What one transfer keeps from its first part to its report: the sampler's family, the answers
// heard, and what went out and how.
struct SendCommand::Sending {
    Sending(SendCommand& command, const Family& family)
        : family(family),
          withProgram(family.SendsProgram()), context{command.port, command.program,
                                                      command.settings, command.messages,
                                                      &command.ui} {}

    const Family& family;
    const bool withProgram;
    WaitClock::TimePoint start{};
    std::int32_t programNumber = 0;
    TransferContext context;
    std::optional<ClosedLoop> closedLoop;
    std::vector<std::string> damaged; // "2 damaged blocks in sample #4", per sample
    // The cycles the MIDI system missed while something went out that the sampler did not
    // confirm: only a part whose every packet the sampler acknowledged is known to have arrived
    // whole (the handshake sent again what was damaged).
    std::uint32_t missedSeen = 0;
    std::uint32_t missedUnconfirmed = 0;
    bool lastConfirmed = false;
    // The last part that went (partly) without the sampler's acknowledgement, as the send names
    // it: the sampler may hold it incomplete, which a refusal later on does not say.
    std::string unconfirmedPart;
    // The numbers move on only past what was sent completely, so that a send that ended early
    // proposes the first number the sampler did not get.
    std::uint32_t partsSent = 0;

    void CountMissed(std::uint32_t missed, bool confirmed) {
        if (!confirmed) {
            missedUnconfirmed += missed - missedSeen;
        }
        missedSeen = missed;
        lastConfirmed = confirmed;
    }
};

namespace {

// Closes the sampler's input with every ending of a closed-loop transfer.
struct InputCloser {
    MidiInPort* in;
    explicit InputCloser(MidiInPort* in) : in(in) {}
    InputCloser(const InputCloser&) = delete;
    InputCloser& operator=(const InputCloser&) = delete;
    ~InputCloser() {
        if (in != nullptr) {
            in->Close();
            in->SetStopCheck({});
        }
    }
};

} // namespace

SendCommand::Outcome SendCommand::Transfer() {
    if (!SettingsChosen()) {
        return Outcome::refused;
    }
    const bool withReplies = replyPort != nullptr && settings.midiInDevice >= 0;
    if (!OpenPorts(withReplies)) {
        return Outcome::refused;
    }
    // Closed-loop when the sampler's answers can be heard.
    const InputCloser inputCloser{withReplies ? replyPort : nullptr};
    if (program.traceMode != 0) {
        port.OpenTrace();
    }
    if (!CheckBeforeSend()) {
        port.Close();
        return Outcome::cancelled;
    }
    Sending sending(*this, *FamilyOf(settings.samplerModel));
    if (const auto ending = ChooseNumbers(sending, withReplies)) {
        return *ending;
    }
    BeginSending(sending, withReplies);
    if (const auto ending = SendSampleParts(sending)) {
        return *ending;
    }
    if (sending.withProgram) {
        if (const auto ending = SendTheProgram(sending)) {
            return *ending;
        }
    }
    return EndSent(sending);
}

bool SendCommand::SettingsChosen() {
    // A number outside the table (a hand-edited settings file) is no sampler either.
    if (!SamplerModel::Find(settings.samplerModel)) {
        messages.Show("Select a Sampler in Options", appCaption);
        return false;
    }
    if (settings.midiOutDevice < 0) {
        messages.Show("Select a Midi Out device in the Options menu", appCaption);
        return false;
    }
    settings.midiChannel = std::max(settings.midiChannel, 0);
    settings.exclusiveChannel = std::max(settings.exclusiveChannel, 0);
    return true;
}

bool SendCommand::OpenPorts(bool withReplies) {
    outName.clear();
    inName.clear();
    const auto outIndex = FindOutPort();
    if (!outIndex) {
        return false;
    }
    // Both ports are found before either opens: a missing one refuses the send untouched.
    std::optional<int> inIndex;
    if (withReplies) {
        inIndex = FindInPort();
        if (!inIndex) {
            return false;
        }
    }
    if (!port.Open(*outIndex)) {
        return false;
    }
    if (outName.empty()) {
        outName = port.DeviceName();
    }
    if (withReplies) {
        if (const MidiStatus status = replyPort->Open(*inIndex); !status) {
            messages.Show(status.text, "Midi In device");
            port.Close();
            return false;
        }
        // The user's Cancel also ends a wait for the sampler's answer.
        replyPort->SetStopCheck([this] { return port.Stopping(); });
    }
    return true;
}

std::optional<SendCommand::Outcome> SendCommand::ChooseNumbers(const Sending& sending,
                                                               bool withReplies) {
    const std::int32_t model = settings.samplerModel;
    std::string origin = ProposeNumbers(model);
    SendNumbers numbers{program.nextProgramNumber, program.nextSampleNumber, settings.maxProgram,
                        settings.maxSample - program.sampleCount, std::move(origin)};
    for (int entry = 0; entry < program.sampleCount; ++entry) {
        numbers.shape.sampleParts += static_cast<std::int32_t>(
            program::PartsOf(program.samples[static_cast<std::size_t>(entry)].sample.sendMode)
                .size());
    }
    numbers.shape.withProgram = sending.withProgram;
    if (withReplies && makeLibrarian) {
        ProposeFreeNumbers(model, numbers);
    }
    if (!ui.AskNumbers(numbers)) {
        port.Close();
        return Outcome::cancelled;
    }
    numbersTaken = true;
    // The headers carry the numbers in 16 bits; the counters count on from there.
    program.nextProgramNumber = std::clamp(numbers.programs, 0, highestNumber);
    program.nextSampleNumber = std::clamp(numbers.samples, 0, highestNumber);

    const std::int64_t lastSample =
        std::int64_t{program.nextSampleNumber} + program.transferSampleCount - 1;
    if (const std::string refusal = sending.family.NumbersRefusal(
            program.nextProgramNumber, program.nextSampleNumber, lastSample);
        !refusal.empty()) {
        messages.Show(refusal, appCaption);
        port.Close();
        return Outcome::refused;
    }
    return std::nullopt;
}

void SendCommand::BeginSending(Sending& sending, bool withReplies) {
    const auto info = SamplerModel::Find(settings.samplerModel);
    sending.start = port.Now();
    ui.OpenSending("Sending samples to " + std::string(info ? info->shortName : ""));
    ui.AddLine("Midi Out device: " + outName);
    if (withReplies) {
        ui.AddLine("Midi In device: " + inName);
    }

    program::ProgramHeader& header = program.header;
    sending.programNumber = program.nextProgramNumber;
    header.programParams[program::ProgramHeader::keygroupCountParam] =
        static_cast<std::int16_t>(program.sampleCount);
    header.programNumber = static_cast<std::int16_t>(sending.programNumber & 0xFFFF);
    header.programParams[0] = static_cast<std::int16_t>(sending.programNumber & 0xFFFF);

    if (withReplies) {
        sending.closedLoop.emplace(*replyPort, settings.exclusiveChannel & 0x7F,
                                   std::chrono::seconds(settings.waitLimit));
        sending.context.closedLoop = &*sending.closedLoop;
        replyPort->Discard(); // nothing heard before the first message answers it
    }
}

std::optional<SendCommand::Outcome> SendCommand::SendSampleParts(Sending& sending) {
    for (int entry = 0; entry < program.sampleCount; ++entry) {
        const program::SampleBlock& sample =
            program.samples[static_cast<std::size_t>(entry)].sample;
        for (int part : program::PartsOf(sample.sendMode)) {
            if (const auto ending = SendPart(sending, entry, part)) {
                return ending;
            }
        }
    }
    return std::nullopt;
}

std::optional<SendCommand::Outcome> SendCommand::SendPart(Sending& sending, int entry, int part) {
    if (port.Stopping()) {
        return EndEarly(sending.partsSent);
    }
    program::SampleBlock& sample = program.samples[static_cast<std::size_t>(entry)].sample;
    std::optional<ClosedLoop>& closedLoop = sending.closedLoop;
    const std::int32_t number = program.nextSampleNumber;
    sample.samplerSampleNumber[static_cast<std::size_t>(part)] = static_cast<std::int16_t>(number);
    ui.AddLine(SampleLine(sample, part, number));
    const int naksBefore = closedLoop ? closedLoop->s900Naks : 0;
    if (closedLoop) {
        closedLoop->partHandshake = false;
        closedLoop->otherPackets = 0;
    }
    sending.family.SendSamplePart(sending.context, entry, part);
    if (port.EndedBy() != MidiOutPort::Ending::none) {
        return EndEarly(sending.partsSent);
    }
    if (sending.context.Stopped()) {
        return EndBySampler(sending.context.stopReason, sending.unconfirmedPart);
    }
    ++program.nextSampleNumber;
    ++sending.partsSent;
    if (closedLoop) {
        if (closedLoop->Drain() == ClosedLoop::Answer::cancel) {
            return EndBySampler("The sampler cancelled the transfer.", sending.unconfirmedPart);
        }
        ui.AddLine(closedLoop->partHandshake ? "  ...with handshake"
                   : closedLoop->otherPackets > 0
                       ? "  ...one-way (the sampler answered for other packets)"
                       : "  ...one-way");
        if (const int naks = closedLoop->s900Naks - naksBefore; naks > 0) {
            sending.damaged.push_back(std::to_string(naks) +
                                      (naks == 1 ? " damaged block" : " damaged blocks") +
                                      " in sample #" + std::to_string(number));
        }
    }
    // A part keeps its handshake only while the sampler acknowledges every packet. The S900
    // family's data goes one-way even then: its block answers are only counted.
    const bool checked = closedLoop && sending.family.HandshakeConfirmsData();
    const bool confirmed = checked && closedLoop->partHandshake;
    if (checked && !confirmed) {
        sending.unconfirmedPart = SamplePartText(sample, part);
    }
    sending.CountMissed(port.MissedCycles(), confirmed);
    return std::nullopt;
}

std::optional<SendCommand::Outcome> SendCommand::SendTheProgram(Sending& sending) {
    if (port.Stopping()) {
        return EndEarly(sending.partsSent);
    }
    ui.AddLine("Sending " + program.ProgramName() + " as program#" +
               std::to_string(sending.programNumber));
    sending.family.SendProgram(sending.context);
    if (port.EndedBy() != MidiOutPort::Ending::none) {
        return EndEarly(sending.partsSent);
    }
    if (sending.context.Stopped()) {
        return EndBySampler(sending.context.stopReason, sending.unconfirmedPart);
    }
    ++program.nextProgramNumber;
    sending.CountMissed(port.MissedCycles(), false); // the program messages are not acknowledged
    return std::nullopt;
}

SendCommand::Outcome SendCommand::EndSent(Sending& sending) {
    const std::optional<ClosedLoop>& closedLoop = sending.closedLoop;
    if (closedLoop) {
        ui.AddLine("Packets sent again: " + std::to_string(closedLoop->resentPackets));
    }
    ui.CloseSending();
    // A destination that went away in the last moments is only noticed here.
    if (!port.Close()) {
        return Outcome::stopped;
    }
    // What left last drains while the port closes.
    sending.CountMissed(port.MissedCycles(), sending.lastConfirmed);
    report = ReportText(program.transferSampleCount, sending.withProgram,
                        std::chrono::duration<double>(port.Now() - sending.start).count());
    std::vector<std::string> notes;
    if (closedLoop && closedLoop->resentPackets > 0) {
        notes.push_back(std::to_string(closedLoop->resentPackets) + " packets sent again");
    }
    if (!sending.damaged.empty()) {
        std::string text;
        for (const std::string& sample : sending.damaged) {
            text += (text.empty() ? "" : ", ") + sample;
        }
        notes.push_back(text +
                        (sending.damaged.size() == 1 ? ": send it again" : ": send them again"));
    }
    if (sending.missedUnconfirmed > 0) {
        notes.push_back("JACK missed " + std::to_string(sending.missedUnconfirmed) +
                        (sending.missedUnconfirmed == 1 ? " cycle" : " cycles"));
        warnings.push_back(MissedCyclesWarning(sending.missedUnconfirmed));
    }
    for (std::size_t i = 0; i < notes.size(); ++i) {
        report += (i == 0 ? " (" : "; ") + notes[i];
    }
    if (!notes.empty()) {
        report += ")";
    }
    return sending.damaged.empty() && warnings.empty() ? Outcome::sent : Outcome::sentWithWarning;
}

std::string SendCommand::MissedCyclesWarning(std::uint32_t cycles) {
    return "Warning: JACK missed " + std::to_string(cycles) + (cycles == 1 ? " cycle" : " cycles") +
           " during the transfer; the sampler may have received damaged data. Send again, or use "
           "a Midi In device to confirm.";
}

SendCommand::Outcome SendCommand::EndBySampler(const std::string& reason,
                                               const std::string& unconfirmedPart) {
    std::string text = reason;
    if (!unconfirmedPart.empty()) {
        text += " The sampler did not acknowledge all of " + unconfirmedPart +
                ", sent before: it may hold that sample incomplete. Send the program again.";
    }
    ui.KeepSending(text);
    port.Close();
    messages.Show(text, appCaption);
    return Outcome::stopped;
}

SendCommand::Outcome SendCommand::EndEarly(std::uint32_t partsSent) {
    // A cancel asked for during a wait has not met a Send yet: end the opening now, so that the
    // receiver hears the end of the dump.
    port.EndIfCancelled();
    const bool failed = port.EndedBy() == MidiOutPort::Ending::failed;
    const std::string device = port.DeviceName();
    const std::string detail = port.FailureText();
    // The port of a failed device is given up without waiting on it; its own close error would
    // only repeat the failure.
    port.Close();
    const std::string parts =
        std::to_string(partsSent) + " of " + std::to_string(program.transferSampleCount);
    if (failed) {
        const std::string text = "The MIDI device \"" + device + "\" stopped taking data after " +
                                 parts + " sample parts; the transfer was stopped." +
                                 (detail.empty() ? "" : " (" + detail + ")");
        ui.KeepSending(text);
        messages.Show(text, appCaption);
        return Outcome::stopped;
    }
    ui.CloseSending();
    messages.Show("Transfer cancelled: " + parts + " sample parts sent.", appCaption);
    return Outcome::interrupted;
}

std::string SendCommand::ReportText(std::uint32_t samples, bool withProgram, double seconds) {
    const auto whole = static_cast<std::int64_t>(std::llround(std::max(seconds, 0.0)));
    const std::string time = (whole >= 60 ? std::to_string(whole / 60) + " min " : "") +
                             std::to_string(whole % 60) + " s";
    return "Sent " + std::to_string(samples) + (samples == 1 ? " sample" : " samples") +
           (withProgram ? " and the program" : "") + " in " + time;
}

bool SendCommand::CheckBeforeSend() {
    program.transferWords = 0;
    program.transferWordsSent = 0;
    program.transferSampleCount = 0;
    bool passed = true;
    for (int entry = 0; entry < program.sampleCount; ++entry) {
        const program::SampleBlock& sample =
            program.samples[static_cast<std::size_t>(entry)].sample;
        const auto parts = static_cast<std::uint32_t>(program::PartsOf(sample.sendMode).size());
        program.transferSampleCount += parts;
        program.transferWords += parts * sample.lengthWords;

        // Relative names resolve against the program directory.
        const std::string fileName = program::FieldText(sample.fileName);
        const std::filesystem::path file = program.SampleFilePath(fileName);
        std::error_code ec;
        const bool found = !fileName.empty() && std::filesystem::is_regular_file(file, ec);
        const std::uintmax_t size = found ? std::filesystem::file_size(file, ec) : 0;
        if (!found || ec || size < sample.frameCount) {
            messages.Show(fileName, appCaption);
            passed = false;
        } else if (!SoundInsideFile(sample, file)) {
            messages.Show("The sound of sample " + std::to_string(entry + 1) + " [" +
                              program::FieldText(sample.sampleName) + "] lies outside its file " +
                              fileName,
                          appCaption);
            passed = false;
        }
        if (const Family* family = FamilyOf(settings.samplerModel); family != nullptr) {
            if (const std::string refusal = family->SampleRefusal(sample, fileName);
                !refusal.empty()) {
                messages.Show(refusal, appCaption);
                passed = false;
            }
        }
    }
    program.header.filesChecked = passed ? 1 : 0;
    const bool confirmed =
        ui.ConfirmSummary({program.transferSampleCount, program.transferWords,
                           EstimatedSendSeconds(program, settings.samplerModel), outName, inName,
                           OffPitchWarnings(program, settings.samplerModel)});
    return passed && confirmed;
}

} // namespace velomire::transfer
