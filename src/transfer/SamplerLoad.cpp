#include "transfer/SamplerLoad.h"

#include "program/AddSample.h"
#include "program/Program.h"
#include "program/ProgramFile.h"
#include "program/StereoNames.h"
#include "transfer/SamplerSettings.h"
#include "transfer/SendCommand.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>

namespace velomire::transfer {

namespace {

namespace fs = std::filesystem;

// Hands every byte of the render to the sampler; its answers go nowhere.
class FeedDriver final : public MidiDriver {
public:
    explicit FeedDriver(SimulatedSampler& sampler) : sampler(sampler) {}
    std::vector<std::string> PortNames() override { return {"Simulated sampler"}; }
    MidiStatus Open(unsigned index) override {
        return index == 0 ? MidiStatus{} : MidiStatus::Error("No such port");
    }
    MidiStatus Write(std::span<const std::uint8_t> data) override {
        sampler.Feed(data);
        return {};
    }
    MidiStatus Close() override { return {}; }
    std::string OpenPortName() const override { return "Simulated sampler"; }

private:
    SimulatedSampler& sampler;
};

// Answers the Send command as the render does, with the numbers after those the sampler holds.
class LoadUi final : public SendUi {
public:
    LoadUi(std::int32_t programs, std::int32_t samples) : programs(programs), samples(samples) {}
    bool ConfirmSummary(const ProgramSummary&) override { return true; }
    bool AskNumbers(SendNumbers& numbers) override {
        numbers.programs = programs;
        numbers.samples = samples;
        return true;
    }
    void OpenSending(const std::string&) override {}
    void AddLine(const std::string&) override {}
    void CloseSending() override {}
    void SetSampleBar(int) override {}
    void SetProgramBar(int) override {}

private:
    std::int32_t programs;
    std::int32_t samples;
};

// The sample parts the program sends.
int PartCount(const program::Program& program) {
    int parts = 0;
    for (int i = 0; i < program.sampleCount; ++i) {
        parts += static_cast<int>(
            program::PartsOf(program.samples[static_cast<std::size_t>(i)].sample.sendMode).size());
    }
    return parts;
}

// The words a row's sample parts take in the sampler's memory.
std::uint64_t RowWords(const program::SampleBlock& sample) {
    return std::uint64_t{sample.lengthWords} * program::PartsOf(sample.sendMode).size();
}

std::uint64_t ProgramWords(const program::Program& program) {
    std::uint64_t words = 0;
    for (int i = 0; i < program.sampleCount; ++i) {
        words += RowWords(program.samples[static_cast<std::size_t>(i)].sample);
    }
    return words;
}

std::string TooLarge(std::uint64_t words, std::uint64_t free) {
    return "it takes " + std::to_string(words) + " words of sample memory, more than the " +
           std::to_string(free) + " words free; not sent";
}

// Why the sampler did not take what was sent, once: the first line it logged (a refused dump
// logs a line for each of its packets).
std::string FirstRefusal(SimulatedSampler& sampler) {
    const std::vector<std::string> log = sampler.TakeLog();
    return log.empty() ? std::string("not kept by the sampler") : "the sampler refused " + log[0];
}

template <typename Map> std::int32_t NextNumber(const Map& held) {
    return held.empty() ? 0 : held.rbegin()->first + 1;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Sends the program into the sampler; false when the Send command refused it.
bool Send(program::Program& program, SimulatedSampler& sampler, std::int32_t model,
          program::UserMessages& messages) {
    SamplerMemory& memory = sampler.Memory();
    SamplerSettings settings;
    settings.samplerModel = model;
    settings.midiOutDevice = 0;
    FeedDriver driver(sampler);
    InstantWaitClock clock;
    MidiOutPort port(driver, clock, messages);
    LoadUi ui(NextNumber(memory.programs), NextNumber(memory.samples));
    const bool sent = SendCommand(program, settings, port, messages, ui).OnSendProgram() ==
                      SendCommand::Outcome::sent;
    sampler.CloseAll();
    sampler.TakeClosedSamples();
    sampler.TakeClosedPrograms();
    // A dump whose header carries no name (the SDS Dump Header): the sampler is given the one
    // the program has.
    for (int i = 0; i < program.sampleCount; ++i) {
        const program::SampleBlock& sample = program.samples[static_cast<std::size_t>(i)].sample;
        for (const int part : program::PartsOf(sample.sendMode)) {
            const auto found =
                memory.samples.find(sample.samplerSampleNumber[static_cast<std::size_t>(part)]);
            if (found != memory.samples.end() && !FieldString(found->second.fields, "sampleName")) {
                found->second.fields.push_back(
                    {"sampleName", program::FieldText(sample.sampleName)});
            }
        }
    }
    return sent;
}

} // namespace

SamplerLoadResult LoadSampler(SimulatedSampler& sampler, std::int32_t model,
                              const fs::path& directory, program::UserMessages& messages) {
    SamplerLoadResult result;
    std::error_code ec;
    std::vector<fs::path> programs;
    std::vector<std::string> wavs;
    for (const auto& entry : fs::directory_iterator(directory, ec)) {
        const std::string extension = Lower(entry.path().extension().string());
        if (extension == ".vmp") {
            programs.push_back(fs::absolute(entry.path(), ec));
        } else if (extension == ".wav") {
            wavs.push_back(entry.path().filename().string());
        }
    }
    std::sort(programs.begin(), programs.end());
    std::sort(wavs.begin(), wavs.end());
    SamplerMemory& memory = sampler.Memory();
    const std::size_t samplesBefore = memory.samples.size();
    std::set<std::string> played;
    for (const fs::path& path : programs) {
        const std::string name = path.filename().string();
        auto program = std::make_unique<program::Program>();
        if (!program::ProgramFile::LoadFile(path, *program)) {
            result.refused.push_back(name + ": not a program file");
            continue;
        }
        program->SetProgramPath(path, false);
        for (int i = 0; i < program->sampleCount; ++i) {
            played.insert(
                program::FieldText(program->samples[static_cast<std::size_t>(i)].sample.fileName));
        }
        // What cannot fit is refused before it is rendered: a render of a huge file would take
        // minutes and gigabytes only to be cancelled at its header.
        if (const std::uint64_t words = ProgramWords(*program); words > sampler.FreeWords()) {
            result.refused.push_back(name + ": " + TooLarge(words, sampler.FreeWords()));
            continue;
        }
        const std::size_t held = memory.samples.size();
        if (!Send(*program, sampler, model, messages)) {
            result.refused.push_back(name + ": refused by the Send command");
        } else if (memory.samples.size() - held < static_cast<std::size_t>(PartCount(*program))) {
            result.refused.push_back(name + ": " + FirstRefusal(sampler));
        } else {
            ++result.programs;
        }
        sampler.TakeLog();
    }
    // The WAV files no program plays, 40 at a time, as the samples of a program the sampler
    // then forgets.
    wavs.erase(std::remove_if(wavs.begin(), wavs.end(),
                              [&](const std::string& name) { return played.count(name) != 0; }),
               wavs.end());
    for (std::size_t first = 0; first < wavs.size(); first += program::Program::maxSamples) {
        auto program = std::make_unique<program::Program>();
        program->SetProgramPath(fs::absolute(directory / "loaded.vmp", ec), true);
        const std::size_t last = std::min(wavs.size(), first + program::Program::maxSamples);
        std::vector<std::string> rows;
        std::uint64_t batchWords = 0;
        for (std::size_t i = first; i < last; ++i) {
            if (!program::AddSample(*program, wavs[i], messages)) {
                result.refused.push_back(wavs[i] + ": not taken as a sample");
                continue;
            }
            const int row = program->sampleCount - 1;
            const std::uint64_t words =
                RowWords(program->samples[static_cast<std::size_t>(row)].sample);
            if (batchWords + words > sampler.FreeWords()) {
                result.refused.push_back(wavs[i] + ": " +
                                         TooLarge(words, sampler.FreeWords() - batchWords));
                program->RemoveSampleEntry(row);
                continue;
            }
            batchWords += words;
            rows.push_back(wavs[i]);
        }
        if (program->sampleCount == 0) {
            continue;
        }
        const std::int32_t number = NextNumber(memory.programs);
        const bool sent = Send(*program, sampler, model, messages);
        // Each file the sampler did not keep is named once.
        std::string why;
        for (int row = 0; row < program->sampleCount; ++row) {
            const program::SampleBlock& sample =
                program->samples[static_cast<std::size_t>(row)].sample;
            bool kept = sent;
            for (const int part : program::PartsOf(sample.sendMode)) {
                kept = kept && memory.samples.count(
                                   sample.samplerSampleNumber[static_cast<std::size_t>(part)]) != 0;
            }
            if (!kept) {
                why = why.empty() ? (sent ? FirstRefusal(sampler) : "refused by the Send command")
                                  : why;
                result.refused.push_back(rows[static_cast<std::size_t>(row)] + ": " + why);
            }
        }
        sampler.TakeLog();
        memory.programs.erase(number);
    }
    result.samples = static_cast<int>(memory.samples.size() - samplesBefore);
    return result;
}

} // namespace velomire::transfer
