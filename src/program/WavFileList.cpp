#include "program/WavFileList.h"

#include "program/GcvtText.h"
#include "program/Program.h"
#include "program/SafeFile.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace velomire::program {
namespace {

namespace fs = std::filesystem;

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

bool IsSoundFileName(std::string_view name) {
    static constexpr std::string_view extensions[] = {".wav",  ".aif", ".aiff", ".aifc",
                                                      ".flac", ".ogg", ".oga"};
    return std::any_of(std::begin(extensions), std::end(extensions), [&](std::string_view ext) {
        return name.size() >= ext.size() &&
               std::equal(ext.begin(), ext.end(), name.end() - static_cast<long>(ext.size()),
                          [](char want, char c) { return want == Lower(c); });
    });
}

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    const bool less = std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) { return Lower(x) < Lower(y); });
    const bool greater = std::lexicographical_compare(
        b.begin(), b.end(), a.begin(), a.end(), [](char x, char y) { return Lower(x) < Lower(y); });
    // Names that differ only in case keep one fixed order.
    return less || (!greater && a < b);
}

// "2.5 Seconds", "2 Seconds": three digits, without the bare decimal point of a whole number.
std::string SecondsText(double seconds) {
    std::string text = GcvtText(seconds, 3);
    if (const auto dot = text.find('.');
        dot != std::string::npos && (dot + 1 == text.size() || text[dot + 1] == 'e')) {
        text.erase(dot, 1);
    }
    return text + " Seconds";
}

bool CanBeOpened(const std::string& file) {
    if (!IsRegularFile(file)) {
        return false;
    }
    std::ifstream probe(file, std::ios::binary);
    return probe.is_open();
}

} // namespace

WavFileList ListWavFiles(const std::filesystem::path& directory) {
    WavFileList list;
    std::error_code error;
    fs::directory_iterator it(directory, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) {
            continue;
        }
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.' || !IsSoundFileName(name)) {
            continue;
        }
        if (name.size() > Program::fileNameChars) {
            ++list.longNames;
            continue;
        }
        list.names.push_back(name);
    }
    std::sort(list.names.begin(), list.names.end(), LessIgnoringCase);
    return list;
}

std::string LongNamesNote(int longNames) {
    if (longNames <= 0) {
        return {};
    }
    if (longNames == 1) {
        return "1 file with a name of 40 characters or more is not listed";
    }
    return std::to_string(longNames) + " files with names of 40 characters or more are not listed";
}

std::optional<std::array<std::string, 6>> InformationTexts(WavInfo& wav, const std::string& file,
                                                           const SoundProbe& probe) {
    // A file of another format is described as it will be converted, without a refusal.
    if (probe && !ReaderAccepts(file)) {
        if (const auto format = probe(file)) {
            const double seconds =
                format->rate == 0 ? 0.0 : static_cast<double>(format->frames) / format->rate;
            return std::array<std::string, 6>{
                file,
                format->bits == 0 ? std::string("Compressed")
                                  : std::to_string(format->bits) + " Bits",
                format->channels == 2   ? "Stereo"
                : format->channels == 1 ? "Mono"
                                        : std::to_string(format->channels) + " Channels",
                std::to_string(format->rate) + " Hz",
                std::to_string(format->frames) + " Words",
                SecondsText(seconds),
            };
        }
    }
    // The reader reports both failures the same way; only a file it could read a header from has
    // values to show.
    if (!wav.Open(file) && !CanBeOpened(file)) {
        return std::nullopt;
    }
    std::array<std::string, 6> texts{
        file,
        std::to_string(wav.Bits()) + " Bits",
        wav.Channels() == 2 ? "Stereo" : "Mono",
        std::to_string(wav.Rate()) + " Hz",
        std::to_string(wav.FrameCount()) + " Words",
        SecondsText(wav.Seconds()),
    };
    wav.Close();
    return texts;
}

} // namespace velomire::program
