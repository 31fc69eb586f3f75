#include "instrument/devices/InstrumentFiles.h"

#include "instrument/AkaiImagePrograms.h"
#include "instrument/SfzReader.h"
#ifdef VELOMIRE_HAVE_QT_XML
#include "instrument/devices/DecentSamplerReader.h"
#endif
#ifdef VELOMIRE_HAVE_GIG
#include "instrument/devices/DlsReader.h"
#include "instrument/devices/KorgReader.h"
#include "instrument/devices/Sf2Reader.h"
#endif

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string_view>

namespace velomire::instrument {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The first bytes of the file (fewer when it is shorter), or nothing when it cannot be read.
std::optional<std::string> Head(const std::filesystem::path& file, std::size_t count) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
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

std::optional<std::vector<InstrumentEntry>> ListSfz(const std::filesystem::path& file,
                                                    std::string& error) {
    const auto instrument = ReadSfzFile(file, error);
    if (!instrument) {
        return std::nullopt;
    }
    return std::vector<InstrumentEntry>{{instrument->name, 0,
                                         std::to_string(instrument->zones.size()) + " regions, " +
                                             std::to_string(instrument->sounds.size()) +
                                             " samples"}};
}

std::optional<Instrument> ReadSfz(const std::filesystem::path& file, const InstrumentChoice& choice,
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

// The entry `choice` picks among `entries`: by number, by name (letter case ignored), or the first.
std::optional<int> Chosen(const std::filesystem::path& file,
                          const std::vector<InstrumentEntry>& entries,
                          const InstrumentChoice& choice, std::string& error) {
    if (choice.number) {
        for (const InstrumentEntry& entry : entries)
            if (entry.number == *choice.number)
                return entry.number;
        error = file.string() + ": has no instrument " + std::to_string(*choice.number) +
                " (it holds " + std::to_string(entries.size()) + ")";
        return std::nullopt;
    }
    if (choice.name) {
        for (const InstrumentEntry& entry : entries)
            if (Lower(entry.name) == Lower(*choice.name))
                return entry.number;
        error = file.string() + ": has no instrument named \"" + *choice.name + "\"";
        return std::nullopt;
    }
    if (entries.empty()) {
        error = file.string() + ": holds no instrument";
        return std::nullopt;
    }
    return entries.front().number;
}

// The readers this build has: SoundFont 2, DLS and Korg multisamples need libgig, Decent Sampler
// Qt's XML reader (the Windows build of velomire-cli alone has neither). The others stand in.
[[maybe_unused]] std::string NotInBuild(const std::filesystem::path& file, const char* format) {
    return file.string() + ": " + format + " files are not supported in this build";
}
#ifndef VELOMIRE_HAVE_GIG
std::optional<std::vector<InstrumentEntry>> ListSoundFont2Presets(const std::filesystem::path& file,
                                                                  std::string& error) {
    error = NotInBuild(file, "SoundFont 2");
    return std::nullopt;
}
std::optional<Instrument> ReadSoundFont2Preset(const std::filesystem::path& file, int,
                                               std::string& error) {
    error = NotInBuild(file, "SoundFont 2");
    return std::nullopt;
}
std::optional<std::vector<InstrumentEntry>> ListDlsInstruments(const std::filesystem::path& file,
                                                               std::string& error) {
    error = NotInBuild(file, "DLS and GigaStudio");
    return std::nullopt;
}
std::optional<Instrument> ReadDlsInstrument(const std::filesystem::path& file, int,
                                            std::string& error) {
    error = NotInBuild(file, "DLS and GigaStudio");
    return std::nullopt;
}
std::optional<std::vector<InstrumentEntry>> ListKorgInstruments(const std::filesystem::path& file,
                                                                std::string& error) {
    error = NotInBuild(file, "Korg multisample");
    return std::nullopt;
}
std::optional<Instrument> ReadKorgInstrument(const std::filesystem::path& file, int,
                                             std::string& error) {
    error = NotInBuild(file, "Korg multisample");
    return std::nullopt;
}
#endif
#ifndef VELOMIRE_HAVE_QT_XML
std::optional<std::vector<InstrumentEntry>>
ListDecentSamplerPresets(const std::filesystem::path& file, std::string& error) {
    error = NotInBuild(file, "Decent Sampler");
    return std::nullopt;
}
std::optional<Instrument> ReadDecentSamplerPreset(const std::filesystem::path& file,
                                                  std::string& error) {
    error = NotInBuild(file, "Decent Sampler");
    return std::nullopt;
}
#endif

} // namespace

std::optional<InstrumentFormat> DetectInstrumentFormat(const std::filesystem::path& file) {
    const auto head = Head(file, 4096);
    if (!head)
        return std::nullopt;
    if (head->size() >= 12 && head->compare(0, 4, "RIFF") == 0 && head->compare(8, 4, "sfbk") == 0)
        return InstrumentFormat::soundFont2;
    if (head->size() >= 12 && head->compare(0, 4, "RIFF") == 0 && head->compare(8, 4, "DLS ") == 0)
        return InstrumentFormat::dls;
    if (head->size() >= 8 && head->compare(0, 4, "MSP1") == 0)
        return InstrumentFormat::korg;
    if (Lower(*head).find("<decentsampler") != std::string::npos)
        return InstrumentFormat::decentSampler;
    const std::string extension = Lower(file.extension().string());
    if (extension == ".sf2")
        return InstrumentFormat::soundFont2;
    if (extension == ".dspreset")
        return InstrumentFormat::decentSampler;
    if (extension == ".dls" || extension == ".gig")
        return InstrumentFormat::dls;
    if (extension == ".kmp")
        return InstrumentFormat::korg;
    if (extension == ".sfz")
        return InstrumentFormat::sfz;
    if (LooksLikeAkaiImage(file))
        return InstrumentFormat::akaiImage;
    if (LooksLikeSfz(*head) && head->find('\0') == std::string::npos)
        return InstrumentFormat::sfz;
    return std::nullopt;
}

std::optional<std::vector<InstrumentEntry>> ListInstruments(const std::filesystem::path& file,
                                                            std::string& error) {
    const auto format = DetectInstrumentFormat(file);
    if (!format) {
        error = file.string() +
                ": not an instrument file Velomire reads (SFZ, SoundFont 2, "
                "DLS, GigaStudio, Korg multisample, Decent Sampler, Akai disk image)";
        return std::nullopt;
    }
    switch (*format) {
    case InstrumentFormat::soundFont2:
        return ListSoundFont2Presets(file, error);
    case InstrumentFormat::dls:
        return ListDlsInstruments(file, error);
    case InstrumentFormat::korg:
        return ListKorgInstruments(file, error);
    case InstrumentFormat::decentSampler:
        return ListDecentSamplerPresets(file, error);
    case InstrumentFormat::akaiImage:
        return ListAkaiImagePrograms(file, error);
    case InstrumentFormat::sfz:
        return ListSfz(file, error);
    }
    return std::nullopt;
}

std::optional<Instrument> ReadInstrument(const std::filesystem::path& file,
                                         const InstrumentChoice& choice, std::string& error) {
    const auto format = DetectInstrumentFormat(file);
    if (format == InstrumentFormat::sfz) {
        return ReadSfz(file, choice, error); // one instrument a file, read once
    }
    const auto entries = ListInstruments(file, error);
    if (!entries)
        return std::nullopt;
    const auto index = Chosen(file, *entries, choice, error);
    if (!index)
        return std::nullopt;
    switch (*format) {
    case InstrumentFormat::soundFont2:
        return ReadSoundFont2Preset(file, *index, error);
    case InstrumentFormat::dls:
        return ReadDlsInstrument(file, *index, error);
    case InstrumentFormat::korg:
        return ReadKorgInstrument(file, *index, error);
    case InstrumentFormat::decentSampler:
        return ReadDecentSamplerPreset(file, error);
    case InstrumentFormat::akaiImage:
        return ReadAkaiImageProgram(file, *index, error);
    case InstrumentFormat::sfz:
        break;
    }
    return std::nullopt;
}

} // namespace velomire::instrument
