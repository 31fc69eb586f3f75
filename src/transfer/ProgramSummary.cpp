#include "transfer/ProgramSummary.h"

#include "transfer/SamplerModel.h"

#include <algorithm>
#include <cmath>

namespace velomire::transfer {

std::string ProgramSummary::MemoryText() const {
    // Single precision, as the figure has always been computed.
    float memory = static_cast<float>(words) / 512.0f;
    const char* unit = "Ko";
    if (memory >= 1000.0f) {
        memory /= 1024.0f;
        unit = "Mo";
    }
    const auto whole = static_cast<std::int64_t>(memory);
    const auto hundredths = static_cast<int>((memory - static_cast<float>(whole)) * 100.0f);
    const std::string decimals = (hundredths < 10 ? "0" : "") + std::to_string(hundredths);
    return std::to_string(whole) + "." + decimals + " " + unit;
}

double TimeLeftSeconds(double estimate, double shareSent, double elapsedSeconds) {
    const double share = std::clamp(shareSent, 0.0, 1.0);
    const double byEstimate = std::max(estimate, 0.0) * (1 - share);
    if (share <= 0 || elapsedSeconds <= 0) {
        return byEstimate;
    }
    const double byPace = elapsedSeconds * (1 - share) / share;
    return std::max((1 - share) * byEstimate + share * byPace, 0.0);
}

std::string ProgramSummary::TimeText() const {
    const auto whole = static_cast<std::int64_t>(std::llround(std::max(seconds, 0.0)));
    return std::to_string(whole / 60) + "min " + std::to_string(whole % 60) + "sec";
}

namespace {

// The sizes of the messages each family sends, in wire bytes, and the waits after them, in
// seconds; they follow the message builders.
constexpr double bytesPerSecond = 3125;

// Sample Dump Standard: a dump header, then packets of 40 words in 127 bytes.
constexpr double sdsDumpHeaderBytes = 21;
constexpr double sdsPacketBytes = 127;
constexpr std::uint32_t sdsWordsPerPacket = 40;
constexpr double sdsWaitAfterData = 0.7;

// S900/S950: a data header, pieces of 60 words in 122 bytes and an F7, a sample header; a
// program of 38 header bytes and 70 per keygroup (one per part), each as two wire bytes.
constexpr double s900DataHeaderBytes = 19;
constexpr double s900PieceBytes = 122;
constexpr std::uint32_t s900WordsPerPiece = 60;
constexpr double s900SampleHeaderBytes = 129;
constexpr double s900WaitsPerPart = 0.3 + 0.3;
constexpr double s900ProgramBytes = 85;
constexpr double s900KeygroupBytes = 140;

// S1000 family: every header is a 150-byte block (192 after the S1000) as nibbles between 7 bytes
// of opening and F7; a keygroup also carries its index. The data go as SDS packets.
constexpr double s1000WaitsPerPart = 0.6 + 0.7;
constexpr double s1000WaitAfterProgram = 1.0;
constexpr double s1000WaitPerKeygroup = 0.2;

double Pieces(std::uint32_t words, std::uint32_t wordsPerPiece) {
    // A length of 0 still sends one.
    return words == 0 ? 1 : (words - 1) / wordsPerPiece + 1;
}

} // namespace

double EstimatedSendSeconds(const program::Program& program, std::int32_t model) {
    const auto info = SamplerModel::Find(model);
    if (!info) {
        return 0;
    }
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);
    const double blockBytes = 2.0 * (model == SamplerModel::s1000 ? 150 : 192);
    const double s1000HeaderBytes = 7 + blockBytes + 1;
    double bytes = 0;
    double waits = 0;
    int parts = 0;
    for (int i = 0; i < count; ++i) {
        const program::SampleBlock& sample = program.samples[static_cast<std::size_t>(i)].sample;
        const int entryParts = sample.sendMode == program::sendStereo ? 2 : 1;
        parts += entryParts;
        const double packets = Pieces(sample.lengthWords, sdsWordsPerPacket);
        switch (info->family) {
        case SamplerFamily::sds:
            bytes += entryParts * (sdsDumpHeaderBytes + packets * sdsPacketBytes);
            waits += entryParts * sdsWaitAfterData;
            break;
        case SamplerFamily::s900:
            bytes += entryParts * (s900DataHeaderBytes +
                                   Pieces(sample.lengthWords, s900WordsPerPiece) * s900PieceBytes +
                                   1 + s900SampleHeaderBytes);
            waits += entryParts * s900WaitsPerPart;
            break;
        case SamplerFamily::s1000:
            bytes += entryParts * (s1000HeaderBytes + packets * sdsPacketBytes);
            waits += entryParts * s1000WaitsPerPart;
            break;
        case SamplerFamily::none:
            break;
        }
    }
    if (info->family == SamplerFamily::s900) {
        bytes += s900ProgramBytes + parts * s900KeygroupBytes;
    } else if (info->family == SamplerFamily::s1000) {
        bytes += s1000HeaderBytes + count * (s1000HeaderBytes + 1);
        waits += s1000WaitAfterProgram + count * s1000WaitPerKeygroup;
    }
    return bytes / bytesPerSecond + waits;
}

std::int32_t SpinNumber(std::int32_t value, bool up, std::int32_t limit) {
    if (up) {
        const std::int64_t highest = std::max<std::int64_t>(std::int64_t{limit} - 1, 0);
        return static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{value} + 1, highest));
    }
    return static_cast<std::int32_t>(std::max<std::int64_t>(std::int64_t{value} - 1, 0));
}

} // namespace velomire::transfer
