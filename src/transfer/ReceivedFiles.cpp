#include "transfer/ReceivedFiles.h"

#include "program/ProgramFile.h"
#include "program/SafeFileName.h"
#include "program/StereoNames.h"
#include "program/WavInfo.h"
#include "program/WavWriter.h"
#include "transfer/families/Family.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <memory>
#include <utility>

namespace velomire::transfer {

namespace fs = std::filesystem;

std::vector<std::int64_t> FieldList(const DecodedFields& fields, std::string_view name) {
    for (const DecodedField& field : fields) {
        if (field.name == name) {
            if (const auto* list = std::get_if<std::vector<std::int64_t>>(&field.value)) {
                return *list;
            }
        }
    }
    return {};
}

program::SampleChunks ReceivedSampleChunks(const DecodedSample& sample) {
    const Family* family = FamilyOf(sample.family);
    return family != nullptr ? family->ReceivedChunks(sample) : program::SampleChunks{};
}

std::string ReceivedSampleNote(const DecodedSample& sample) {
    const Family* family = FamilyOf(sample.family);
    return family != nullptr ? family->ReceivedNote(sample) : std::string{};
}

std::optional<std::string> ReceivedName(const DecodedFields& fields) {
    for (const char* name : {"sampleName", "programName"}) {
        if (auto text = FieldString(fields, name)) {
            // The samplers pad their names with spaces.
            text->erase(text->find_last_not_of(' ') + 1);
            return text;
        }
    }
    return std::nullopt;
}

bool ReceivedProgramZones(const DecodedProgram& received, const program::KeygroupBlock& defaults,
                          program::ProgramHeader& header, std::vector<ReceivedZone>& zones) {
    const Family* family = FamilyOf(received.family);
    return family != nullptr && family->ReceivedZones(received, defaults, header, zones);
}

ReceivedFiles::ReceivedFiles(fs::path directory, FileCreator& creator)
    : directory(std::move(directory)), creator(creator) {}

std::optional<std::string> ReceivedFiles::Write(const std::string& stem,
                                                const std::string& extension,
                                                std::span<const std::uint8_t> bytes,
                                                std::string& error) {
    for (int copy = 1;; ++copy) {
        std::string name = stem;
        if (copy > 1) {
            name += "-" + std::to_string(copy);
        }
        name += extension;
        const fs::path path = directory / name;
        if (creator.Exists(path)) {
            continue;
        }
        switch (creator.Create(path, bytes, error)) {
        case FileCreator::Created::done:
            written.push_back(name);
            return name;
        case FileCreator::Created::taken:
            continue; // it appeared meanwhile: the next name
        case FileCreator::Created::failed:
            error = path.string().append(": Error: Can't write File ! (").append(error) + ")";
            return std::nullopt;
        }
    }
}

namespace {

// A row of a program names its file in at most 39 characters, "-NN.wav" included.
constexpr std::size_t maxStem = 30;

std::string SampleStem(const DecodedSample& sample) {
    return program::SafeFileStem(ReceivedName(sample.fields).value_or(""),
                                 "sample-" + std::to_string(sample.number), maxStem);
}

std::vector<std::uint8_t> SampleImage(const DecodedSample& sample,
                                      const program::SampleChunks& chunks) {
    return program::WavWriter::Image(1, sample.rate, sample.frames, chunks);
}

// A row's defaults, as a new row of a one-frame file gets them.
program::SampleEntry DefaultEntry(program::UserMessages& messages) {
    const std::array<std::int16_t, 2> frames{};
    program::WavInfo wav(messages);
    wav.OpenBytes("default.wav", program::WavWriter::Image(1, 44100, frames));
    program::Program program;
    program.InitSampleEntry(0, "default.wav", wav);
    return program.samples[0];
}

} // namespace

std::optional<std::string> ReceivedFiles::WriteSample(const DecodedSample& sample,
                                                      std::string& error) {
    const auto image = SampleImage(sample, ReceivedSampleChunks(sample));
    return Write(SampleStem(sample), ".wav", image, error);
}

std::optional<std::string> ReceivedFiles::WriteProgram(const DecodedProgram& received,
                                                       std::span<const DecodedSample> samples,
                                                       program::UserMessages& messages,
                                                       std::string& error) {
    auto program = std::make_unique<program::Program>();
    program::ProgramHeader& header = program->header;
    header.ResetForNewProgram(received.number);
    header.programNumber = static_cast<std::int16_t>(received.number);
    const std::string name = ReceivedName(received.fields).value_or("");
    program::SetFieldText(header.programName, name, program::Program::programNameChars);
    std::vector<ReceivedZone> zones;
    if (!ReceivedProgramZones(received, DefaultEntry(messages).keygroup, header, zones)) {
        error = "this sampler keeps no programs";
        return std::nullopt;
    }
    const auto find = [&](std::string sampleName) -> const DecodedSample* {
        sampleName.erase(sampleName.find_last_not_of(' ') + 1);
        const auto found =
            std::find_if(samples.begin(), samples.end(), [&](const DecodedSample& sample) {
                return ReceivedName(sample.fields).value_or("") == sampleName;
            });
        return found == samples.end() ? nullptr : &*found;
    };
    // A stereo row whose halves did not both come alike is two mono rows.
    for (std::size_t i = 0; i < zones.size(); ++i) {
        if (zones[i].rightSampleName.empty()) {
            continue;
        }
        const DecodedSample* left = find(zones[i].sampleName);
        const DecodedSample* right = find(zones[i].rightSampleName);
        if (left == nullptr || right == nullptr || left->rate != right->rate ||
            left->frames.size() != right->frames.size()) {
            ReceivedZone rightZone{std::exchange(zones[i].rightSampleName, {}), zones[i].keygroup};
            zones.insert(zones.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(rightZone));
        }
    }

    // Each sample (or stereo pair) once, in the order the rows play them, its key range from
    // the first row that plays it.
    struct RowFile {
        std::string fileName;
        std::vector<std::uint8_t> image;
        program::SampleChunks chunks;
    };
    std::map<std::pair<const DecodedSample*, const DecodedSample*>, RowFile> rowFiles;
    for (ReceivedZone& zone : zones) {
        zone.sampleName.erase(zone.sampleName.find_last_not_of(' ') + 1);
        const DecodedSample* left = find(zone.sampleName);
        const DecodedSample* right =
            zone.rightSampleName.empty() ? nullptr : find(zone.rightSampleName);
        if (left == nullptr) {
            messages.Show("The sampler did not send the sample \"" + zone.sampleName +
                              "\" this program plays; its keygroup is left out.",
                          "");
            continue;
        }
        if (program->sampleCount >= program::Program::maxSamples) {
            messages.Show("The program has more keygroups than the 40 rows a program holds; the "
                          "others are left out.",
                          "");
            break;
        }
        auto [file, added] = rowFiles.try_emplace({left, right});
        if (added) {
            file->second.chunks = ReceivedSampleChunks(*left);
            file->second.chunks.lowKey = static_cast<std::uint8_t>(zone.keygroup.lowKey);
            file->second.chunks.highKey = static_cast<std::uint8_t>(zone.keygroup.highKey);
            std::string stem = SampleStem(*left);
            if (right == nullptr) {
                file->second.image = SampleImage(*left, file->second.chunks);
            } else {
                std::vector<std::int16_t> frames;
                frames.reserve(2 * left->frames.size());
                for (std::size_t i = 0; i < left->frames.size(); ++i) {
                    frames.push_back(left->frames[i]);
                    frames.push_back(right->frames[i]);
                }
                file->second.image =
                    program::WavWriter::Image(2, left->rate, frames, file->second.chunks);
                stem =
                    program::SafeFileStem(program::EntryNameOfHalf(zone.sampleName), stem, maxStem);
            }
            const auto written = Write(stem, ".wav", file->second.image, error);
            if (!written) {
                return std::nullopt;
            }
            file->second.fileName = *written;
        }
        program::WavInfo wav(messages);
        if (!wav.OpenBytes(file->second.fileName, file->second.image)) {
            continue; // told by the reader
        }
        const int row = program->sampleCount;
        program->InitSampleEntry(row, file->second.fileName, wav);
        program::SampleEntry& entry = program->samples[static_cast<std::size_t>(row)];
        program::ApplySampleChunks(file->second.chunks, entry);
        program::SetFieldText(entry.sample.sampleName,
                              right == nullptr ? zone.sampleName
                                               : program::EntryNameOfHalf(zone.sampleName),
                              program::Program::sampleNameChars);
        entry.sample.sendMode = right == nullptr ? program::sendMono : program::sendStereo;
        entry.keygroup = zone.keygroup;
        ++program->sampleCount;
    }
    header.programParams[program::ProgramHeader::keygroupCountParam] =
        static_cast<std::int16_t>(program->sampleCount);

    const auto bytes = program::ProgramFile::Store(*program);
    return Write(program::SafeFileStem(name, "program-" + std::to_string(received.number), maxStem),
                 ".vmp", bytes, error);
}

namespace {

// The sample taken back whole, or why not.
LibrarianResult GetWholeSample(Librarian& librarian, int number, DecodedSample& sample,
                               LibrarianProgress& progress) {
    LibrarianResult result = librarian.GetSample(number, sample, progress);
    if (result.Ok()) {
        if (const auto problem = SampleProblem(sample)) {
            return {LibrarianResult::Outcome::failed,
                    "sample " + std::to_string(number) + ": " + *problem};
        }
    }
    return result;
}

} // namespace

LibrarianResult GetSampleFile(Librarian& librarian, int number, ReceivedFiles& files,
                              LibrarianProgress& progress, std::string& written) {
    DecodedSample sample;
    LibrarianResult result = GetWholeSample(librarian, number, sample, progress);
    if (!result.Ok()) {
        return result;
    }
    std::string error;
    const auto name = files.WriteSample(sample, error);
    if (!name) {
        return {LibrarianResult::Outcome::failed, error};
    }
    written = *name;
    if (const std::string note = ReceivedSampleNote(sample); !note.empty()) {
        written += " (" + note + ")";
    }
    return result;
}

LibrarianResult GetProgramFiles(Librarian& librarian, int number,
                                const std::vector<SamplerEntry>& entries, ReceivedFiles& files,
                                LibrarianProgress& progress, program::UserMessages& messages,
                                std::string& written, std::set<int>& sampleNumbers) {
    DecodedProgram received;
    LibrarianResult result = librarian.GetProgram(number, received, progress);
    if (!result.Ok()) {
        return result;
    }
    program::ProgramHeader header;
    std::vector<ReceivedZone> zones;
    if (!ReceivedProgramZones(received, program::KeygroupBlock{}, header, zones)) {
        return {LibrarianResult::Outcome::unsupported, "this sampler keeps no programs"};
    }
    // Each sample the zones name once, in the order the zones name them.
    std::vector<DecodedSample> samples;
    std::set<int> taken;
    std::vector<std::string> played;
    for (const ReceivedZone& zone : zones) {
        played.push_back(zone.sampleName);
        if (!zone.rightSampleName.empty()) {
            played.push_back(zone.rightSampleName);
        }
    }
    for (std::string& sampleName : played) {
        sampleName.erase(sampleName.find_last_not_of(' ') + 1);
        const auto entry = std::find_if(entries.begin(), entries.end(), [&](const SamplerEntry& e) {
            std::string name = e.name;
            name.erase(name.find_last_not_of(' ') + 1);
            return e.kind == SamplerEntry::Kind::sample && name == sampleName;
        });
        if (entry == entries.end() || !taken.insert(entry->number).second) {
            continue; // a sample the sampler does not list is told when the rows are made
        }
        DecodedSample sample;
        result = GetWholeSample(librarian, entry->number, sample, progress);
        if (!result.Ok()) {
            return result;
        }
        samples.push_back(std::move(sample));
    }
    std::string error;
    const auto name = files.WriteProgram(received, samples, messages, error);
    if (!name) {
        return {LibrarianResult::Outcome::failed, error};
    }
    written = *name;
    sampleNumbers.insert(taken.begin(), taken.end());
    return result;
}

} // namespace velomire::transfer
