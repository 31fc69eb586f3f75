#include "cli/DecodedFiles.h"

#include "program/WavWriter.h"
#include "program/devices/NewFile.h"
#include "transfer/families/Family.h"

#include <cstdio>

namespace velomire::cli {

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

std::string FamilyName(transfer::SamplerFamily family) {
    const transfer::Family* found = transfer::FamilyOf(family);
    return found != nullptr ? std::string(found->Name()) : "none";
}

ordered_json FieldsToJson(const transfer::DecodedFields& fields) {
    ordered_json out = ordered_json::object();
    for (const transfer::DecodedField& field : fields) {
        std::visit([&](const auto& value) { out[field.name] = value; }, field.value);
    }
    return out;
}

// Two-space indented; a text that is not UTF-8 shows U+FFFD where its bad bytes were.
std::string JsonText(const ordered_json& json) {
    return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

} // namespace

ordered_json DecodedSampleToJson(const transfer::DecodedSample& sample) {
    ordered_json out;
    out["family"] = FamilyName(sample.family);
    out["number"] = sample.number;
    out["rate"] = sample.rate;
    out["frames"] = sample.frames.size();
    out["complete"] = sample.Complete();
    out["header"] = FieldsToJson(sample.fields);
    return out;
}

ordered_json DecodedProgramToJson(const transfer::DecodedProgram& program) {
    ordered_json out;
    out["family"] = FamilyName(program.family);
    out["number"] = program.number;
    out["header"] = FieldsToJson(program.fields);
    ordered_json keygroups = ordered_json::array();
    for (const auto& keygroup : program.keygroups) {
        keygroups.push_back(FieldsToJson(keygroup));
    }
    out["keygroups"] = keygroups;
    return out;
}

DecodedFiles::DecodedFiles(std::filesystem::path directory, bool replace)
    : directory(std::move(directory)), replace(replace) {}

std::string DecodedFiles::NewName(const std::string& kind, int number, bool withWav) {
    for (int copy = 1;; ++copy) {
        char name[48];
        if (copy == 1) {
            std::snprintf(name, sizeof name, "%s-%03d", kind.c_str(), number);
        } else {
            std::snprintf(name, sizeof name, "%s-%03d-%d", kind.c_str(), number, copy);
        }
        if (given.count(name) != 0) {
            continue;
        }
        // Without --force a name whose files exist (a link included) is passed over too, so
        // that a file that appeared meanwhile is kept.
        std::error_code ec;
        const auto present = [&](const char* extension) {
            return fs::exists(fs::symlink_status(directory / (std::string(name) + extension), ec));
        };
        if (!replace && (present(".json") || (withWav && present(".wav")))) {
            continue;
        }
        given.insert(name);
        return name;
    }
}

std::string DecodedFiles::NewSampleName(int number) {
    return NewName("sample", number, true);
}

std::string DecodedFiles::NewProgramName(int number) {
    return NewName("program", number, false);
}

std::string DecodedFiles::Write(const std::string& fileName, std::span<const std::uint8_t> bytes) {
    const fs::path path = directory / fileName;
    program::NewFile file(path);
    const bool ours = written.count(fileName) != 0;
    if (!file.Open() || !file.Write(bytes)) {
        return path.string() + ": Error: Can't write File ! (" + file.Error() + ")";
    }
    switch (file.Finish(replace || ours)) {
    case program::NewFile::Named::done:
        written.insert(fileName);
        return {};
    case program::NewFile::Named::taken:
        return path.string() + ": exists already and was kept";
    case program::NewFile::Named::failed:
        break;
    }
    return path.string() + ": Error: Can't write File ! (" + file.Error() + ")";
}

std::string DecodedFiles::WriteSample(const std::string& name,
                                      const transfer::DecodedSample& sample) {
    // The header is made first: a sample is written whole or not at all.
    const std::string json = JsonText(DecodedSampleToJson(sample));
    const auto wav = program::WavWriter::Image(1, sample.rate, sample.frames);
    std::string error = Write(name + ".wav", wav);
    if (error.empty()) {
        error = Write(name + ".json",
                      std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
    }
    return error;
}

std::string DecodedFiles::WriteProgram(const std::string& name,
                                       const transfer::DecodedProgram& program) {
    const std::string json = JsonText(DecodedProgramToJson(program));
    return Write(name + ".json",
                 std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
}

std::optional<std::string> DecodedFiles::EarlierOutput(const fs::path& directory) {
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string extension = it->path().extension().string();
        const bool sample =
            name.rfind("sample-", 0) == 0 && (extension == ".wav" || extension == ".json");
        const bool program = name.rfind("program-", 0) == 0 && extension == ".json";
        if (sample || program) {
            return name;
        }
    }
    return std::nullopt;
}

} // namespace velomire::cli
