// Feeds arbitrary bytes to `new --convert`'s path as a sound file: FilesToConvert, then
// ConvertFiles through libsndfile and libsoxr. Whatever the file says, a conversion either gives
// a WAV file the reader takes, of a rate a sampler plays and no longer than a sampler holds, or
// leaves nothing behind; the source is never changed.
// Run with LSAN_OPTIONS=suppressions=tests/lsan.supp (libvorbis leaks on damaged Ogg files).

#include "program/SampleConverter.h"
#include "program/WavInfo.h"
#include "program/devices/SndfileConverter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace velomire::program;

class SilentMessages : public UserMessages {
public:
    void Show(std::string_view, std::string_view) override {}
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<char> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static const fs::path directory =
        fs::temp_directory_path() / ("velomire-conversion-fuzz-" + std::to_string(getpid()));
    fs::remove_all(directory);
    fs::create_directories(directory);
    // The first byte chooses the options, the rest is the file.
    ConvertOptions options;
    options.rate = static_cast<TargetRate>(data[0] % 4);
    options.dither = (data[0] & 4) != 0;
    const fs::path source = directory / "source.snd";
    {
        std::ofstream out(source, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const std::vector<char> before = Read(source);

    SndfileConverter converter;
    SilentMessages messages;
    const auto files = FilesToConvert({source}, converter);
    const ConvertedFiles converted =
        ConvertFiles(files, directory, options, converter, messages, {});
    Check(converted.names.size() == files.size());
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(directory)) {
        (void)entry;
        ++entries;
    }
    if (converted.names.empty() || !converted.names[0]) {
        Check(entries == 1); // nothing left behind
    } else {
        Check(entries == 2);
        WavInfo wav(messages);
        Check(wav.Open((directory / *converted.names[0]).string()));
        Check(wav.Rate() >= lowestSamplerRate && wav.Rate() <= highestSamplerRate);
        Check(wav.FrameCount() <= maxConvertedFrames);
    }
    Check(Read(source) == before);
    return 0;
}
