#include "instrument/ImportWriter.h"

#include "program/ProgramFile.h"
#include "program/SafeFile.h"
#include "program/SafeFileName.h"
#include "program/SampleChunks.h"
#include "program/StereoNames.h"
#include "program/WavInfo.h"
#include "program/WavWriter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;

// The most chunks walked looking for "smpl" and "inst" before the rest is ignored.
constexpr int maxChunks = 1000;
// Room in a row's 39 characters for "-NNN.wav" after a sound's name.
constexpr std::size_t stemChars = 31;

std::uint32_t Le32(const std::array<char, 8>& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

// The "smpl" and "inst" chunks of a RIFF WAVE file of any sample format (the WAV reader opens
// 16-bit files only).
program::SampleChunks WavChunks(const fs::path& file) {
    program::SampleChunks chunks;
    std::ifstream in(file, std::ios::binary);
    std::array<char, 12> head{};
    if (!in.read(head.data(), head.size()) || std::string_view(head.data(), 4) != "RIFF" ||
        std::string_view(head.data() + 8, 4) != "WAVE") {
        return chunks;
    }
    std::array<char, 8> chunk{};
    for (int n = 0; n < maxChunks && in.read(chunk.data(), chunk.size()); ++n) {
        const std::string_view id(chunk.data(), 4);
        const std::uint32_t size = Le32(chunk, 4);
        const std::streamoff next =
            in.tellg() + static_cast<std::streamoff>(size) + static_cast<std::streamoff>(size & 1);
        if (id == "smpl" || id == "inst") {
            std::vector<std::uint8_t> body(std::min(size, program::smplKeptBytes));
            in.read(reinterpret_cast<char*>(body.data()),
                    static_cast<std::streamsize>(body.size()));
            body.resize(static_cast<std::size_t>(in.gcount()));
            if (id == "smpl") {
                program::ParseSmplChunk(body, chunks);
            } else {
                program::ParseInstChunk(body, chunks);
            }
            in.clear();
        }
        in.seekg(next);
    }
    return chunks;
}

void TakeChunks(const program::SampleChunks& chunks, Sound& sound) {
    sound.loops.clear();
    for (const auto& loop : chunks.loops) {
        sound.loops.push_back({loop.start, loop.end});
    }
    if (chunks.unityNote && *chunks.unityNote <= 127) {
        sound.rootKey = static_cast<int>(*chunks.unityNote);
    }
}

// The frames of an open 16-bit WAV file, interleaved, at most two channels.
SoundWords ReadWords(program::WavInfo& wav) {
    SoundWords sound;
    sound.channels = wav.Channels() >= 2 ? 2 : 1;
    sound.rate = wav.Rate();
    const std::uint32_t frames = wav.FrameCount();
    sound.words.reserve(std::size_t{frames} * sound.channels);
    wav.Seek(0);
    for (std::uint32_t f = 0; f < frames; ++f) {
        if (sound.channels == 1) {
            sound.words.push_back(static_cast<std::int16_t>(wav.ReadFrame(0)));
        } else {
            // ReadFrame serves one part per call, each from the same frame.
            wav.Seek(f);
            sound.words.push_back(static_cast<std::int16_t>(wav.ReadFrame(1)));
            wav.Seek(f);
            sound.words.push_back(static_cast<std::int16_t>(wav.ReadFrame(2)));
        }
    }
    return sound;
}

// Files written by one import: temporary ones go at the end, the others too when it fails.
class Written {
public:
    explicit Written(fs::path directory) : directory(std::move(directory)) {}
    ~Written() {
        std::error_code ec;
        for (const auto& file : temporary) {
            fs::remove(file, ec);
        }
        if (!kept) {
            for (const auto& file : files) {
                fs::remove(file, ec);
            }
        }
    }
    Written(const Written&) = delete;
    Written& operator=(const Written&) = delete;

    fs::path Temporary() {
        std::error_code ec;
        for (int n = 1;; ++n) {
            fs::path candidate = directory / (".velomire-import-" + std::to_string(n) + ".wav");
            if (!fs::exists(fs::symlink_status(candidate, ec)) &&
                std::find(temporary.begin(), temporary.end(), candidate) == temporary.end()) {
                temporary.push_back(candidate);
                return candidate;
            }
        }
    }
    void Done(const fs::path& temp) {
        std::error_code ec;
        fs::remove(temp, ec);
        std::erase(temporary, temp);
    }
    void Add(const fs::path& file) { files.push_back(file); }
    void Keep() { kept = true; }

private:
    fs::path directory;
    std::vector<fs::path> temporary;
    std::vector<fs::path> files;
    bool kept = false;
};

class Writer {
public:
    Writer(program::SampleConverter& converter, Written& written, const ImportProgress& progress)
        : converter(converter), written(written), progress(progress) {}

    // Sounds `done` of `total` are written: the next one's share runs from there.
    void StartSound(std::size_t done, std::size_t total) {
        base = total == 0 ? 0 : static_cast<double>(done) / static_cast<double>(total);
        span = total == 0 ? 0 : 1 / static_cast<double>(total);
    }

    // Says how far the current sound is (0 to 1); false once the caller has asked to stop.
    bool Report(double within) {
        if (!stopped && progress && !progress(base + span * std::clamp(within, 0.0, 1.0))) {
            stopped = true;
        }
        return !stopped;
    }

    bool Stopped() const { return stopped; }

    // The words of `sound`, converted to `rate` when asked.
    std::optional<SoundWords> Words(const Sound& sound, program::TargetRate rate,
                                    std::string& error) {
        if (sound.file.empty()) {
            SoundWords words;
            words.channels = std::min<std::uint16_t>(std::max<std::uint16_t>(sound.channels, 1), 2);
            words.rate = sound.rate;
            const std::size_t frames =
                sound.words.size() / std::max<std::uint16_t>(sound.channels, 1);
            for (std::size_t f = 0; f < frames; ++f) {
                for (std::uint16_t c = 0; c < words.channels; ++c) {
                    words.words.push_back(sound.words[f * sound.channels + c]);
                }
            }
            if (rate == program::TargetRate::keep) {
                return words;
            }
            const fs::path temp = written.Temporary();
            if (!program::WavWriter::Write(temp, words.channels, words.rate, words.words)) {
                error = sound.name + ": a temporary file could not be written";
                return std::nullopt;
            }
            auto converted = FromFile(temp, sound.name, rate, error);
            written.Done(temp);
            return converted;
        }
        return FromFile(sound.file, sound.name, rate, error);
    }

private:
    std::optional<SoundWords> FromFile(const fs::path& file, const std::string& name,
                                       program::TargetRate rate, std::string& error) {
        program::LastMessage messages;
        program::WavInfo wav(messages);
        if (rate == program::TargetRate::keep && wav.Open(file.string())) {
            return ReadWords(wav);
        }
        const fs::path temp = written.Temporary();
        const program::ConvertOutcome outcome =
            converter.Convert(file, temp, {rate, false}, [this](double d) { return Report(d); });
        std::optional<SoundWords> words;
        if (!outcome.ok) {
            error = name + ": " + (outcome.error.empty() ? "not converted" : outcome.error);
        } else if (wav.Open(temp.string())) {
            words = ReadWords(wav);
            wav.Close();
        } else {
            error = name + ": the converted file cannot be read: " + messages.last;
        }
        written.Done(temp);
        return words;
    }

    program::SampleConverter& converter;
    Written& written;
    const ImportProgress& progress;
    double base = 0;
    double span = 0;
    bool stopped = false;
};

} // namespace

std::string EntryLine(const InstrumentEntry& entry) {
    return std::to_string(entry.number) + ": " + entry.name +
           (entry.detail.empty() ? "" : " (" + entry.detail + ")");
}

std::string ProgramFileProblem(const fs::path& programFile, const std::string& shown) {
    std::string extension = programFile.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension != ".vmp") {
        return shown + ": a program file name ends in .vmp";
    }
    std::error_code ec;
    if (!fs::is_directory(programFile.parent_path(), ec)) {
        return shown + ": the program's directory does not exist";
    }
    if (fs::exists(fs::symlink_status(programFile, ec))) {
        return shown + ": exists already; nothing was written";
    }
    return {};
}

bool ProbeSounds(Instrument& instrument, program::SampleConverter& converter, std::string& error) {
    for (Sound& sound : instrument.sounds) {
        if (sound.file.empty()) {
            if (sound.frames == 0 && sound.channels > 0) {
                sound.frames = sound.words.size() / sound.channels;
            }
            continue;
        }
        if (!program::IsRegularFile(sound.file)) {
            error = "sample " + sound.file.filename().string() + " cannot be opened (" +
                    sound.file.string() + ")";
            return false;
        }
        program::LastMessage messages;
        program::WavInfo wav(messages);
        if (wav.Open(sound.file.string())) {
            sound.channels = wav.Channels();
            sound.rate = wav.Rate();
            sound.frames = wav.FrameCount();
            TakeChunks(wav.Chunks(), sound);
            continue;
        }
        const auto format = converter.Probe(sound.file);
        if (!format || format->channels == 0 || format->rate == 0) {
            error = "sample " + sound.file.filename().string() +
                    " is no sound file this build reads" +
                    (messages.last.empty() ? "" : " (" + messages.last + ")");
            return false;
        }
        sound.channels = format->channels;
        sound.rate = format->rate;
        sound.frames = format->frames;
        TakeChunks(WavChunks(sound.file), sound);
    }
    return true;
}

program::Status WriteImportedProgram(const Instrument& instrument, const ProgramMapping& mapping,
                                     const fs::path& programFile,
                                     program::SampleConverter& converter,
                                     const NewFileWriter& writeNew, program::Program& program,
                                     const ImportProgress& progress) {
    std::error_code ec;
    const fs::path target = fs::absolute(programFile, ec).lexically_normal();
    const fs::path directory = target.parent_path();
    const std::string given = programFile.filename().string();
    if (!fs::is_directory(directory, ec)) {
        return program::Status::Error(given + ": the program's folder does not exist");
    }
    if (fs::exists(fs::symlink_status(target, ec))) {
        return program::Status::Error(given + ": exists already; nothing was written");
    }
    if (mapping.rows.empty()) {
        return program::Status::Error(given + ": the instrument gives no row; nothing was written");
    }
    if (mapping.rows.size() > static_cast<std::size_t>(program::Program::maxSamples)) {
        return program::Status::Error(given + ": more rows than a program holds");
    }

    Written written(directory);
    Writer writer(converter, written, progress);
    const auto stopped = [&given] {
        return program::Status::Error(given + ": stopped; nothing was written");
    };
    auto made = std::make_unique<program::Program>();
    program::Program& p = *made;
    std::set<std::string> names; // taken by this import, in lower case

    for (std::size_t planIndex = 0; planIndex < mapping.sounds.size(); ++planIndex) {
        const SoundPlan& plan = mapping.sounds[planIndex];
        std::vector<std::size_t> rows;
        for (std::size_t r = 0; r < mapping.rows.size(); ++r) {
            if (mapping.rows[r].plan == planIndex) {
                rows.push_back(r);
            }
        }
        if (rows.empty()) {
            continue; // every row of it was folded away
        }
        writer.StartSound(planIndex, mapping.sounds.size());
        if (!writer.Report(0)) {
            return stopped();
        }
        const Sound& sound = instrument.sounds[plan.sound];
        std::string error;
        auto words = writer.Words(sound, plan.convertTo, error);
        if (!words) {
            return writer.Stopped() ? stopped() : program::Status::Error(error);
        }
        if (plan.rightSound) {
            auto right = writer.Words(instrument.sounds[*plan.rightSound], plan.convertTo, error);
            if (!right) {
                return writer.Stopped() ? stopped() : program::Status::Error(error);
            }
            const std::size_t leftFrames = words->words.size() / words->channels;
            const std::size_t rightFrames = right->words.size() / right->channels;
            std::vector<std::int16_t> pair;
            pair.reserve(2 * std::max(leftFrames, rightFrames));
            for (std::size_t f = 0; f < std::max(leftFrames, rightFrames); ++f) {
                pair.push_back(f < leftFrames ? words->words[f * words->channels] : 0);
                pair.push_back(f < rightFrames ? right->words[f * right->channels] : 0);
            }
            words->words = std::move(pair);
            words->channels = 2;
        }
        const std::size_t frames = words->words.size() / words->channels;
        if (frames == 0) {
            return program::Status::Error(sound.name + ": holds no frames");
        }

        // The file's name: the sound's (a stereo pair's halves named as a send names them: the
        // name they share), made safe, and free in the folder.
        const bool halves =
            plan.rightSound &&
            program::StereoHalves(sound.name, instrument.sounds[*plan.rightSound].name, 0);
        const std::string stem = program::SafeFileStem(
            halves ? program::EntryNameOfHalf(sound.name) : sound.name, "sample", stemChars);
        const std::string name = program::FreeFileName(directory, stem, ".wav", names);
        if (name.empty()) {
            return program::Status::Error(sound.name + ": no free file name in the folder");
        }

        const ImportRow& first = mapping.rows[rows.front()];
        program::SampleChunks chunks;
        chunks.unityNote = static_cast<std::uint32_t>(first.rootKey);
        for (const Loop& loop : first.loops) {
            chunks.loops.push_back({loop.start, loop.end, 0});
        }
        chunks.lowKey = static_cast<std::uint8_t>(first.lowKey);
        chunks.highKey = static_cast<std::uint8_t>(first.highKey);
        std::vector<std::uint8_t> image =
            program::WavWriter::Image(words->channels, words->rate, words->words, chunks);
        const fs::path wavPath = directory / name;
        if (const program::Status status = writeNew(wavPath, image); !status) {
            return program::Status::Error(name + ": " + status.text, status.detail);
        }
        written.Add(wavPath);

        program::LastMessage messages;
        program::WavInfo wav(messages);
        if (!wav.OpenBytes(name, std::move(image))) {
            return program::Status::Error(name + ": " + messages.last);
        }
        for (const std::size_t r : rows) {
            const ImportRow& row = mapping.rows[r];
            p.InitSampleEntry(static_cast<int>(r), name, wav);
            program::SampleEntry& entry = p.samples[r];
            program::SampleBlock& s = entry.sample;
            const std::uint32_t last = s.frameCount == 0 ? 0 : s.frameCount - 1;
            s.soundStart = std::min(row.soundStart, last);
            // A row playing to the sound's end plays to the written file's end, whatever frame
            // count a conversion gave.
            const bool toEnd = plan.frames > 0 && row.soundEnd == plan.frames - 1;
            s.soundEnd = toEnd ? last : std::clamp(row.soundEnd, s.soundStart, last);
            s.lengthWords = (s.soundEnd - s.soundStart + 1) & ~1u;
            s.endPoint = s.lengthWords == 0 ? 0 : s.lengthWords - 1;
            s.rootKey = static_cast<std::int16_t>(row.rootKey);
            s.tuneOffset = plan.tuneOffset;
            s.sendMode = row.sendMode;
            for (std::size_t n = 0; n < 4; ++n) {
                program::LoopSpec loop = s.Loop(n);
                if (n < row.loops.size() && row.loops[n].end <= s.soundEnd &&
                    row.loops[n].start >= s.soundStart) {
                    loop.at = row.loops[n].end - s.soundStart;
                    loop.length = row.loops[n].end - row.loops[n].start + 1;
                } else {
                    loop.at = s.lengthWords == 0 ? 0 : s.lengthWords - 1;
                    loop.length = s.lengthWords;
                }
                s.SetLoop(n, loop);
            }
            s.loopCount = static_cast<std::int16_t>(std::min<std::size_t>(row.loops.size(), 4));
            s.loopMode = row.loopMode;
            program::KeygroupBlock& k = entry.keygroup;
            k.lowKey = static_cast<std::int16_t>(row.lowKey);
            k.highKey = static_cast<std::int16_t>(row.highKey);
            k.velocityLow = static_cast<std::int16_t>(row.lowVelocity);
            k.velocityHigh = static_cast<std::int16_t>(row.highVelocity);
            k.keygroupTune = row.keygroupTune;
            if (row.output) {
                k.output = static_cast<std::int16_t>(*row.output);
            }
        }
        wav.Close();
    }

    writer.StartSound(mapping.sounds.size(), mapping.sounds.size());
    if (!writer.Report(0)) {
        return stopped();
    }
    p.sampleCount = static_cast<std::int32_t>(mapping.rows.size());
    p.header.ResetForNewProgram(p.nextProgramNumber);
    program::SetFieldText(p.header.programName, target.stem().string(),
                          program::Program::programNameChars);
    p.programDirectory = directory;
    p.programCreated = true;
    const std::vector<std::uint8_t> bytes = program::ProgramFile::Store(p);
    if (const program::Status status = writeNew(target, bytes); !status) {
        return program::Status::Error(given + ": " + status.text, status.detail);
    }
    written.Keep();
    program = p;
    return {};
}

} // namespace velomire::instrument
