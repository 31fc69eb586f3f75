#include "transfer/SendCommand.h"

#include "transfer/S1000Messages.h"
#include "transfer/S900Messages.h"
#include "transfer/SamplerModel.h"
#include "transfer/SdsMessages.h"

#include <filesystem>
#include <optional>

namespace velomire::transfer {
namespace {

using program::appCaption;
// The S900 and S950 carry sample and program numbers as single data bytes.
constexpr std::int32_t s900HighestNumber = 127;

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

} // namespace

SendCommand::SendCommand(program::Program& program, SamplerSettings& settings, MidiOutPort& port,
                         program::UserMessages& messages, SendUi& ui)
    : program(program), settings(settings), port(port), messages(messages), ui(ui) {}

std::vector<int> SendCommand::PartsOf(std::int16_t sendMode) {
    switch (sendMode) {
    case program::sendLeft:
        return {1};
    case program::sendRight:
        return {2};
    case program::sendStereo:
        return {1, 2};
    default:
        return {0};
    }
}

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
    ui.BeginWait();
    const Outcome outcome = Transfer();
    ui.EndWait();
    return outcome;
}

SendCommand::Outcome SendCommand::Transfer() {
    if (settings.samplerModel < 0) {
        messages.Show("Select a Sampler in Options", appCaption);
        return Outcome::refused;
    }
    if (settings.midiOutDevice < 0) {
        messages.Show("Select a Midi Out device in the Options menu", appCaption);
        return Outcome::refused;
    }
    settings.midiChannel = std::max(settings.midiChannel, 0);
    settings.exclusiveChannel = std::max(settings.exclusiveChannel, 0);

    if (!port.Open(settings.midiOutDevice)) {
        return Outcome::refused;
    }
    // Closed-loop when the sampler's answers can be heard; the input closes with every ending.
    struct InputCloser {
        MidiInPort* in;
        ~InputCloser() {
            if (in != nullptr) {
                in->Close();
            }
        }
    } inputCloser{nullptr};
    if (replyPort != nullptr && settings.midiInDevice >= 0) {
        if (const MidiStatus status = replyPort->Open(settings.midiInDevice); !status) {
            messages.Show(status.text, "Midi In device");
            port.Close();
            return Outcome::refused;
        }
        inputCloser.in = replyPort;
    }
    if (program.traceMode != 0) {
        port.OpenTrace();
    }
    if (!CheckBeforeSend()) {
        port.Close();
        return Outcome::cancelled;
    }

    const std::int32_t model = settings.samplerModel;
    const bool akai = SamplerModel::IsAkai(model);
    if (program.nextProgramNumber + program.nextSampleNumber == 0 && akai) {
        program.nextProgramNumber = 1;
        program.nextSampleNumber = 4;
    }
    SendNumbers numbers{program.nextProgramNumber, program.nextSampleNumber, settings.maxProgram,
                        settings.maxSample - program.sampleCount};
    ui.AskNumbers(numbers);
    program.nextProgramNumber = numbers.programs;
    program.nextSampleNumber = numbers.samples;

    if (SamplerModel::Family(model) == SamplerFamily::s900 && !NumbersFitS900()) {
        messages.Show("Error: the S900 and S950 take sample and program numbers from 0 to 127 !",
                      appCaption);
        port.Close();
        return Outcome::refused;
    }

    const auto info = SamplerModel::Find(model);
    ui.OpenSending("Sending samples to " + std::string(info ? info->shortName : ""));

    program::ProgramHeader& header = program.header;
    const std::int32_t programNumber = program.nextProgramNumber;
    header.programParams[program::ProgramHeader::keygroupCountParam] =
        static_cast<std::int16_t>(program.sampleCount);
    header.programNumber = static_cast<std::int16_t>(programNumber & 0xFFFF);
    header.programParams[0] = static_cast<std::int16_t>(programNumber & 0xFFFF);
    if (akai) {
        ++program.nextProgramNumber;
    }

    TransferContext context{port, program, settings, messages, &ui};
    std::optional<ClosedLoop> closedLoop;
    if (inputCloser.in != nullptr) {
        closedLoop.emplace(*replyPort);
        context.closedLoop = &*closedLoop;
        replyPort->Discard(); // nothing heard before the first message answers it
    }
    std::vector<std::string> damaged; // the S900 blocks the sampler reported, per sample
    const auto stop = [&] {
        ui.CloseSending();
        messages.Show(context.stopReason, appCaption);
        port.Close();
        return Outcome::refused;
    };
    SdsMessages sds(context);
    S900Messages s900(context);
    S1000Messages s1000(context);
    const SamplerFamily family = SamplerModel::Family(model);

    for (int entry = 0; entry < program.sampleCount; ++entry) {
        program::SampleBlock& sample = program.samples[static_cast<std::size_t>(entry)].sample;
        for (int part : PartsOf(sample.sendMode)) {
            const std::int32_t number = program.nextSampleNumber++;
            sample.samplerSampleNumber[static_cast<std::size_t>(part)] =
                static_cast<std::int16_t>(number);
            ui.AddLine(SampleLine(sample, part, number));
            const int naksBefore = closedLoop ? closedLoop->s900Naks : 0;
            if (closedLoop) {
                closedLoop->partHandshake = false;
            }
            switch (family) {
            case SamplerFamily::sds:
                sds.SendSdsDumpHeader(entry, part);
                sds.SendSdsSampleData(entry, part);
                break;
            case SamplerFamily::s900:
                s900.SendS900SampleData(entry, part);
                s900.SendS900SampleHeader(entry, part);
                break;
            case SamplerFamily::s1000:
                s1000.SendS1000SampleHeader(entry, part);
                sds.SendSdsSampleData(entry, part);
                break;
            case SamplerFamily::none:
                break;
            }
            if (context.Stopped()) {
                return stop();
            }
            if (closedLoop) {
                closedLoop->Drain();
                ui.AddLine(closedLoop->partHandshake ? "  ...with handshake" : "  ...one-way");
                if (const int naks = closedLoop->s900Naks - naksBefore; naks > 0) {
                    damaged.push_back("The sampler reported " + std::to_string(naks) +
                                      (naks == 1 ? " damaged block" : " damaged blocks") +
                                      " in sample #" + std::to_string(number) + ".");
                }
            }
        }
    }

    if (akai) {
        ui.AddLine("Sending " + program.ProgramName() + " as program#" +
                   std::to_string(programNumber));
        if (family == SamplerFamily::s900) {
            s900.SendS900Program();
        } else {
            s1000.SendS1000Program();
        }
        if (context.Stopped()) {
            return stop();
        }
    }
    if (closedLoop) {
        ui.AddLine("Packets sent again: " + std::to_string(closedLoop->resentPackets));
    }

    ui.CloseSending();
    port.Close();
    for (const std::string& text : damaged) {
        messages.Show(text, appCaption);
    }
    return Outcome::sent;
}

bool SendCommand::CheckBeforeSend() {
    program.transferWords = 0;
    program.transferWordsSent = 0;
    program.transferSampleCount = 0;
    bool passed = true;
    for (int entry = 0; entry < program.sampleCount; ++entry) {
        const program::SampleBlock& sample =
            program.samples[static_cast<std::size_t>(entry)].sample;
        const auto parts = static_cast<std::uint32_t>(PartsOf(sample.sendMode).size());
        program.transferSampleCount += parts;
        program.transferWords += parts * sample.lengthWords;

        // Relative names resolve against the program directory, the working directory.
        const std::string fileName = program::FieldText(sample.fileName);
        std::error_code ec;
        const bool found = !fileName.empty() && std::filesystem::is_regular_file(fileName, ec);
        const std::uintmax_t size = found ? std::filesystem::file_size(fileName, ec) : 0;
        if (!found || ec || size < sample.frameCount) {
            messages.Show(fileName, appCaption);
            passed = false;
        }
    }
    program.header.filesChecked = passed ? 1 : 0;
    const bool confirmed = ui.ConfirmSummary({program.transferSampleCount, program.transferWords});
    return passed && confirmed;
}

bool SendCommand::NumbersFitS900() const {
    const std::int64_t lastSample =
        std::int64_t{program.nextSampleNumber} + program.transferSampleCount - 1;
    return program.nextProgramNumber >= 0 && program.nextProgramNumber <= s900HighestNumber &&
           program.nextSampleNumber >= 0 && lastSample <= s900HighestNumber;
}

} // namespace velomire::transfer
