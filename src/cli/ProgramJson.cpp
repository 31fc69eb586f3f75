#include "cli/ProgramJson.h"

#include <sstream>

namespace velomire::cli {
namespace {

using nlohmann::ordered_json;
using program::FieldText;

// A value in the text form: strings are already printable (Printable), so they are only quoted,
// not escaped a second time as JSON would.
std::string TextValue(const ordered_json& value) {
    return value.is_string() ? "\"" + value.get<std::string>() + "\"" : value.dump();
}

// Text fields come from files made anywhere: keep them printable ASCII whatever bytes they hold,
// each other byte as \xNN and the backslash itself as \\, so no two fields read the same.
std::string Printable(const std::string& raw) {
    std::string out;
    for (unsigned char c : raw) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

template <typename Array> ordered_json Numbers(const Array& values) {
    ordered_json out = ordered_json::array();
    for (auto v : values) {
        out.push_back(v);
    }
    return out;
}

ordered_json SampleToJson(const program::SampleEntry& entry) {
    const program::SampleBlock& s = entry.sample;
    const program::KeygroupBlock& k = entry.keygroup;
    ordered_json loops = ordered_json::array();
    for (std::size_t i = 0; i < program::SampleBlock::loopSlots; ++i) {
        const auto loop = s.Loop(i);
        loops.push_back({{"at", loop.at}, {"length", loop.length}, {"dwell", loop.dwell}});
    }
    return {
        {"fileName", Printable(FieldText(s.fileName))},
        {"bits", s.bits},
        {"channels", s.channels},
        {"sampleRate", s.sampleRate},
        {"samplePeriodNs", s.samplePeriodNs},
        {"frameCount", s.frameCount},
        {"soundStart", s.soundStart},
        {"soundEnd", s.soundEnd},
        {"s900RightLoopShift", s.s900RightLoopShift},
        {"sendMode", s.sendMode},
        {"dataSent", s.dataSent},
        {"samplerSampleNumber", Numbers(s.samplerSampleNumber)},
        {"bandwidth", s.bandwidth},
        {"rootKey", s.rootKey},
        {"sampleName", Printable(FieldText(s.sampleName))},
        {"headerValid", s.headerValid},
        {"loopCount", s.loopCount},
        {"loopMode", s.loopMode},
        {"tuneOffset", s.tuneOffset},
        {"waveAddress", s.waveAddress},
        {"lengthWords", s.lengthWords},
        {"startPoint", s.startPoint},
        {"endPoint", s.endPoint},
        {"loops", loops},
        {"headerRate", s.headerRate},
        {"headerSpare", s.headerSpare},
        {"lowKey", k.lowKey},
        {"highKey", k.highKey},
        {"keygroupTune", k.keygroupTune},
        {"keygroupWords", Numbers(k.keygroupWords)},
        {"output", k.output},
        {"velocityLow", k.velocityLow},
        {"velocityHigh", k.velocityHigh},
        {"velocityTune", k.velocityTune},
        {"velocityWords", Numbers(k.velocityWords)},
    };
}

bool IsFlat(const ordered_json& value) {
    return std::none_of(value.begin(), value.end(),
                        [](const ordered_json& v) { return v.is_structured(); });
}

void WriteText(std::ostringstream& out, const ordered_json& value, const std::string& indent) {
    for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string label =
            value.is_object() ? it.key()
                              : "[" + std::to_string(std::distance(value.begin(), it)) + "]";
        const ordered_json& v = it.value();
        out << indent << label << ":";
        if (v.is_array() && IsFlat(v)) {
            for (const auto& item : v) {
                out << ' ' << TextValue(item);
            }
            out << '\n';
        } else if (v.is_object() && IsFlat(v) && v.size() <= 4) {
            for (auto field = v.begin(); field != v.end(); ++field) {
                out << ' ' << field.key() << ' ' << TextValue(field.value());
            }
            out << '\n';
        } else if (v.is_structured()) {
            out << '\n';
            WriteText(out, v, indent + "  ");
        } else {
            out << ' ' << TextValue(v) << '\n';
        }
    }
}

} // namespace

ordered_json ProgramToJson(const program::Program& program) {
    const program::ProgramHeader& h = program.header;
    ordered_json samples = ordered_json::array();
    for (int i = 0; i < program.sampleCount; ++i) {
        samples.push_back(SampleToJson(program.samples[static_cast<std::size_t>(i)]));
    }
    return {
        {"sampleCount", program.sampleCount},
        {"programName", Printable(FieldText(h.programName))},
        {"programNumber", h.programNumber},
        {"filesChecked", h.filesChecked},
        {"programParams", Numbers(h.programParams)},
        {"samples", samples},
    };
}

std::string JsonToText(const ordered_json& value) {
    std::ostringstream out;
    WriteText(out, value, "");
    return out.str();
}

} // namespace velomire::cli
