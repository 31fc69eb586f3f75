#include "program/IncomingFiles.h"

#include "program/AddSample.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace velomire::program {

namespace {

// Whether a row of the program names this file.
bool HasSampleFile(const Program& program, const std::string& name) {
    const int count = std::clamp(program.sampleCount, 0, Program::maxSamples);
    return std::any_of(program.samples.begin(), program.samples.begin() + count,
                       [&](const SampleEntry& e) { return FieldText(e.sample.fileName) == name; });
}

} // namespace

IncomingFiles::IncomingFiles(SampleConverter& converter, IncomingQuestions& questions,
                             RateCheck rates, ConvertOptions proposal)
    : converter(converter), questions(questions), rates(std::move(rates)), proposal(proposal) {}

std::vector<std::optional<std::filesystem::path>>
IncomingFiles::Prepare(const std::vector<std::filesystem::path>& files,
                       const std::filesystem::path& directory, MessageList& refusals) {
    std::vector<std::optional<std::filesystem::path>> result(files.begin(), files.end());
    const auto offPitch = [this](std::uint32_t rate) {
        return rates.offPitch ? rates.offPitch(rate) : std::nullopt;
    };
    // A file at a rate the chosen model plays off pitch is proposed too, at a rate it plays.
    const auto toConvert = FilesToConvert(
        files, converter, [&](std::uint32_t rate) { return offPitch(rate).has_value(); });
    if (toConvert.empty()) {
        return result;
    }
    std::vector<std::string> names;
    ConvertOptions asked = proposal;
    for (const auto& file : toConvert) {
        std::string name = file.filename().string();
        const auto format = converter.Probe(file);
        if (const auto off = format ? offPitch(format->rate) : std::nullopt) {
            name += " (" + std::to_string(format->rate) + " Hz: " + *off + " on the sampler)";
            asked.rate = rates.proposedRate;
        }
        names.push_back(std::move(name));
    }
    const auto options = questions.AskToConvert(names, asked);
    if (!options) {
        // Declined: those files are left out (the WAV reader would only call them invalid).
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (std::find(toConvert.begin(), toConvert.end(), files[i]) != toConvert.end()) {
                refusals.Add(files[i].filename().string(), "not converted");
                result[i] = std::nullopt;
            }
        }
        return result;
    }
    proposal = *options;

    questions.ConversionStarts();
    // Refusals wait until the conversion is over: a box shown under its progress could not be
    // answered.
    const auto converted = ConvertFiles(toConvert, directory, *options, converter, refusals,
                                        [this](double done) { return questions.Converting(done); });
    questions.ConversionEnded();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto found = std::find(toConvert.begin(), toConvert.end(), files[i]);
        if (found != toConvert.end()) {
            const auto& name = converted.names[static_cast<std::size_t>(found - toConvert.begin())];
            result[i] = name ? std::optional(directory / *name) : std::nullopt;
        }
    }
    return result;
}

std::vector<std::optional<std::string>>
IncomingFiles::BringIntoDirectory(const std::vector<std::optional<std::filesystem::path>>& files,
                                  const std::filesystem::path& directory, MessageList& refusals) {
    std::error_code ec;
    const auto inDirectory = [&](const std::filesystem::path& file) {
        return std::filesystem::equivalent(file.parent_path(), directory, ec);
    };
    const auto toCopy = std::count_if(
        files.begin(), files.end(), [&](const auto& file) { return file && !inDirectory(*file); });
    const bool copy =
        toCopy > 0 && questions.ConfirmCopy(static_cast<std::size_t>(toCopy), directory);
    std::vector<std::optional<std::string>> names;
    for (const auto& file : files) {
        names.emplace_back();
        if (!file) {
            continue;
        }
        const std::string name = file->filename().string();
        if (!inDirectory(*file)) {
            if (!copy) {
                continue;
            }
            // Never over a file of the directory: a clash is reported and the file skipped.
            if (!std::filesystem::copy_file(*file, directory / name, ec)) {
                refusals.Show(ec == std::errc::file_exists
                                  ? "Error: a file of this name is in the program's directory "
                                    "already; not copied !"
                                  : "Error: can't copy the file: " + ec.message(),
                              name);
                continue;
            }
        }
        names.back() = name;
    }
    return names;
}

void IncomingFiles::TakeChosen(PendingSamples& pending, const std::filesystem::path& directory,
                               MessageList& refusals) {
    std::vector<int> added;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < pending.Count(); ++i) {
        const PendingEntry& entry = pending.At(i);
        if (entry.index == -1) {
            added.push_back(i);
            files.push_back(entry.source.empty() ? directory / entry.file
                                                 : std::filesystem::path(entry.source));
        }
    }
    const auto names = BringIntoDirectory(Prepare(files, directory, refusals), directory, refusals);
    std::vector<int> failed;
    for (std::size_t k = 0; k < added.size(); ++k) {
        if (names[k]) {
            pending.SetFile(added[k], *names[k]);
        } else {
            failed.push_back(added[k]);
        }
    }
    pending.Remove(failed);
}

std::vector<std::string> IncomingFiles::TakeDropped(const std::vector<std::filesystem::path>& paths,
                                                    const Program& program, MessageList& refusals) {
    std::error_code ec;
    const std::filesystem::path directory =
        std::filesystem::weakly_canonical(program.programDirectory, ec);
    std::vector<std::filesystem::path> files;
    for (const std::filesystem::path& path : paths) {
        if (std::filesystem::is_regular_file(path, ec)) {
            files.push_back(std::filesystem::weakly_canonical(path, ec));
        }
    }
    // Other formats are converted straight into the program's directory; WAV files from
    // elsewhere are copied there, after one question.
    auto prepared = Prepare(files, directory, refusals);
    std::vector<std::string> seen;
    for (auto& file : prepared) {
        if (!file) {
            continue;
        }
        const std::string name = file->filename().string();
        if (std::find(seen.begin(), seen.end(), name) != seen.end() ||
            HasSampleFile(program, name)) {
            refusals.Add(name, "in the program already");
            file.reset();
            continue;
        }
        seen.push_back(name);
    }
    std::vector<std::string> names;
    for (const auto& name : BringIntoDirectory(prepared, directory, refusals)) {
        if (name) {
            names.push_back(*name);
        }
    }
    return names;
}

void AddSampleFiles(Program& program, const std::vector<std::string>& names,
                    UserMessages& messages) {
    for (const std::string& name : names) {
        const bool full = program.sampleCount >= Program::maxSamples;
        AddSample(program, name, messages);
        if (full) {
            break; // said once, not once for every file left
        }
    }
}

} // namespace velomire::program
