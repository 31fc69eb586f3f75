#include "cli/DecodedFiles.h"

#include "program/WavWriter.h"

#include <cstdio>
#include <fstream>

namespace velomire::cli {

namespace {

using nlohmann::ordered_json;

const char* FamilyName(transfer::SamplerFamily family) {
    switch (family) {
    case transfer::SamplerFamily::sds:
        return "SDS";
    case transfer::SamplerFamily::s900:
        return "S900";
    case transfer::SamplerFamily::s1000:
        return "S1000";
    default:
        return "none";
    }
}

ordered_json FieldsToJson(const transfer::DecodedFields& fields) {
    ordered_json out = ordered_json::object();
    for (const transfer::DecodedField& field : fields) {
        std::visit([&](const auto& value) { out[field.name] = value; }, field.value);
    }
    return out;
}

std::string FileName(const char* kind, int number, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "%s-%03d.%s", kind, number, extension);
    return name;
}

std::string WriteBytes(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return out ? std::string() : path.string() + ": Error: Can't write File !";
}

std::string WriteJson(const std::filesystem::path& path, const ordered_json& json) {
    const std::string text = json.dump(2) + "\n";
    return WriteBytes(path, text.data(), text.size());
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

std::string WriteSample(const std::filesystem::path& directory,
                        const transfer::DecodedSample& sample) {
    const auto wav = program::WavWriter::Image(1, sample.rate, sample.frames);
    std::string error =
        WriteBytes(directory / FileName("sample", sample.number, "wav"), wav.data(), wav.size());
    if (error.empty()) {
        error = WriteJson(directory / FileName("sample", sample.number, "json"),
                          DecodedSampleToJson(sample));
    }
    return error;
}

std::string WriteProgram(const std::filesystem::path& directory,
                         const transfer::DecodedProgram& program) {
    return WriteJson(directory / FileName("program", program.number, "json"),
                     DecodedProgramToJson(program));
}

} // namespace velomire::cli
