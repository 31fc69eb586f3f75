#include "instrument/devices/InstrumentFiles.h"

#include "instrument/SfzReader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string_view>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;

// The bytes of a file's beginning that tell its format.
constexpr std::size_t sniffBytes = 4096;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Beginning(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(sniffBytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

std::string FormatName(InstrumentFormat format) {
    switch (format) {
    case InstrumentFormat::sfz:
        return "SFZ";
    case InstrumentFormat::soundFont2:
        return "SoundFont 2";
    case InstrumentFormat::decentSampler:
        return "Decent Sampler";
    case InstrumentFormat::akaiImage:
        return "Akai disk image";
    }
    return "instrument";
}

// ---- SFZ ----------------------------------------------------------------------------------
// One instrument per file, named after it.

bool LooksLikeSfz(std::string_view beginning) {
    const std::string lower = Lower(std::string(beginning));
    for (const std::string_view header :
         {"<region>", "<group>", "<global>", "<control>", "<master>", "#include", "#define"}) {
        if (lower.find(header) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::optional<std::vector<InstrumentEntry>> ListSfz(const fs::path& file, std::string& error) {
    const auto instrument = ReadSfzFile(file, error);
    if (!instrument) {
        return std::nullopt;
    }
    return std::vector<InstrumentEntry>{{instrument->name, 0,
                                         std::to_string(instrument->zones.size()) + " regions, " +
                                             std::to_string(instrument->sounds.size()) +
                                             " samples"}};
}

std::optional<Instrument> ReadSfz(const fs::path& file, const InstrumentChoice& choice,
                                  std::string& error) {
    auto instrument = ReadSfzFile(file, error);
    if (!instrument) {
        return std::nullopt;
    }
    if ((choice.number && *choice.number != 0) ||
        (choice.name && Lower(*choice.name) != Lower(instrument->name))) {
        error = file.filename().string() + ": holds one instrument, " + instrument->name +
                " (number 0)";
        return std::nullopt;
    }
    return instrument;
}

// ---- end of SFZ ---------------------------------------------------------------------------

std::string NotBuilt(const fs::path& file, InstrumentFormat format) {
    return file.filename().string() + ": " + FormatName(format) +
           " files are not read by this build yet";
}

} // namespace

std::optional<InstrumentFormat> DetectInstrumentFormat(const fs::path& file) {
    const std::string beginning = Beginning(file);
    // Contents first.
    if (beginning.size() >= 12 && beginning.compare(0, 4, "RIFF") == 0 &&
        Lower(beginning.substr(8, 4)) == "sfbk") {
        return InstrumentFormat::soundFont2;
    }
    if (Lower(beginning).find("<decentsampler") != std::string::npos) {
        return InstrumentFormat::decentSampler;
    }
    // The extension second.
    const std::string extension = Lower(file.extension().string());
    if (extension == ".sfz") {
        return InstrumentFormat::sfz;
    }
    if (extension == ".sf2") {
        return InstrumentFormat::soundFont2;
    }
    if (extension == ".dspreset") {
        return InstrumentFormat::decentSampler;
    }
    if (LooksLikeSfz(beginning) && beginning.find('\0') == std::string::npos) {
        return InstrumentFormat::sfz;
    }
    return std::nullopt;
}

std::optional<std::vector<InstrumentEntry>> ListInstruments(const fs::path& file,
                                                            std::string& error) {
    const auto format = DetectInstrumentFormat(file);
    if (!format) {
        error = file.filename().string() + ": not an instrument file Velomire reads (SFZ, "
                                           "SoundFont 2, Decent Sampler, Akai disk image)";
        return std::nullopt;
    }
    switch (*format) {
    case InstrumentFormat::sfz:
        return ListSfz(file, error);
    case InstrumentFormat::soundFont2:
    case InstrumentFormat::decentSampler:
    case InstrumentFormat::akaiImage:
        break;
    }
    error = NotBuilt(file, *format);
    return std::nullopt;
}

std::optional<Instrument> ReadInstrument(const fs::path& file, const InstrumentChoice& choice,
                                         std::string& error) {
    const auto format = DetectInstrumentFormat(file);
    if (!format) {
        error = file.filename().string() + ": not an instrument file Velomire reads (SFZ, "
                                           "SoundFont 2, Decent Sampler, Akai disk image)";
        return std::nullopt;
    }
    switch (*format) {
    case InstrumentFormat::sfz:
        return ReadSfz(file, choice, error);
    case InstrumentFormat::soundFont2:
    case InstrumentFormat::decentSampler:
    case InstrumentFormat::akaiImage:
        break;
    }
    error = NotBuilt(file, *format);
    return std::nullopt;
}

} // namespace velomire::instrument
