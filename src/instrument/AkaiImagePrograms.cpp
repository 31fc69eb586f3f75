#include "instrument/AkaiImagePrograms.h"

#include "program/Program.h"
#include "program/SafeFile.h"
#include "program/StereoNames.h"
#include "transfer/families/Family.h"

#include <algorithm>
#include <map>

namespace velomire::instrument {

namespace {

bool IsS900(const disk::ImageContents& contents) {
    return contents.format == disk::ImageFormat::s900Floppy;
}

// Where the program `index` lies: its volume and its place in the volume.
std::optional<std::pair<std::size_t, std::size_t>> Locate(const disk::ImageContents& contents,
                                                          int index) {
    int number = 0;
    for (std::size_t v = 0; v < contents.volumes.size(); ++v)
        for (std::size_t p = 0; p < contents.volumes[v].programs.size(); ++p)
            if (number++ == index)
                return std::make_pair(v, p);
    return std::nullopt;
}

const disk::ImageSample* FindSample(const disk::ImageVolume& volume, const std::string& name) {
    for (const disk::ImageSample& sample : volume.samples)
        if (sample.name == name)
            return &sample;
    return nullptr;
}

// The keygroups of a program, a stereo entry that the family keeps as two (its halves on the
// family's pair of outputs, one after the other, over the same keys: the S900/S950) as one
// keygroup playing both, as the S1000 family keeps a stereo entry.
std::vector<disk::ImageKeygroup> Keygroups(const disk::ImageContents& contents,
                                           const disk::ImageProgram& program) {
    const transfer::Family* family = disk::FamilyOfImage(contents.format);
    const auto halves = family == nullptr ? std::nullopt : family->StereoKeygroupOutputs();
    if (!halves)
        return program.keygroups;
    std::vector<disk::ImageKeygroup> keygroups;
    for (const disk::ImageKeygroup& keygroup : program.keygroups) {
        if (!keygroups.empty() && keygroup.output == halves->right &&
            keygroups.back().output == halves->left && keygroups.back().zones.size() == 1 &&
            keygroup.zones.size() == 1 && keygroups.back().lowKey == keygroup.lowKey &&
            keygroups.back().highKey == keygroup.highKey &&
            program::StereoHalves(keygroups.back().zones[0].sampleName,
                                  keygroup.zones[0].sampleName, 0)) {
            keygroups.back().zones.push_back(keygroup.zones[0]);
            continue;
        }
        keygroups.push_back(keygroup);
    }
    return keygroups;
}

// The S1000 family's tune, 1/256 semitone, in cents.
double Cents(std::int32_t tune256) {
    return tune256 * 100.0 / 256.0;
}

// The header's tune when it is only the rate correction a program for this rate gets (a sample
// at another rate than 44.1 kHz): the pitch it corrects is the rate's, which the sound's rate
// already says.
std::int32_t OwnTune(const disk::ImageSample& sample) {
    const auto forRate =
        static_cast<std::int16_t>(program::TuneOffsetForRate(sample.rate) & 0xFFFF);
    return sample.tune == forRate ? 0 : sample.tune;
}

} // namespace

std::vector<InstrumentEntry> AkaiImageEntries(const disk::ImageContents& contents) {
    std::vector<InstrumentEntry> entries;
    for (const disk::ImageVolume& volume : contents.volumes) {
        for (const disk::ImageProgram& program : volume.programs) {
            std::string detail;
            if (contents.format == disk::ImageFormat::akaiDisk)
                detail = "partition " + std::string(1, static_cast<char>('A' + volume.partition)) +
                         " volume " + volume.name;
            else
                detail = IsS900(contents) ? "S900/S950 floppy" : "floppy";
            detail += ", " + std::to_string(program.keygroups.size()) + " keygroups";
            entries.push_back({program.name, static_cast<int>(entries.size()), detail});
        }
    }
    return entries;
}

std::optional<Instrument> AkaiImageProgram(std::span<const std::uint8_t> image,
                                           const disk::ImageContents& contents, int index,
                                           std::string& error) {
    const auto where = Locate(contents, index);
    if (!where) {
        error = "the image has no program " + std::to_string(index);
        return std::nullopt;
    }
    const disk::ImageVolume& volume = contents.volumes[where->first];
    const disk::ImageProgram& program = volume.programs[where->second];
    Instrument instrument;
    instrument.name = program.name;
    instrument.notes = contents.warnings;
    std::map<std::string, std::size_t> soundOf;

    // The sound of the sample named `name`, read the first time a zone plays it.
    auto soundFor = [&](const disk::ImageSample& sample) -> std::optional<std::size_t> {
        if (const auto found = soundOf.find(sample.name); found != soundOf.end())
            return found->second;
        Sound sound;
        sound.name = sample.name;
        if (const program::Status read = disk::ReadSampleWords(image, sample, sound.words); !read) {
            error = "sample " + sample.name + ": " + read.text;
            return std::nullopt;
        }
        sound.rate = sample.rate;
        if (IsS900(contents)) {
            sound.diskFamily = transfer::SamplerFamily::s900;
        }
        sound.frames = sound.words.size();
        sound.rootKey = std::clamp(sample.rootKey, 0, 127);
        for (const program::LoopSpec& loop : sample.loops)
            if (loop.length > 0 && loop.length <= loop.at + 1 && loop.at < sound.frames)
                sound.loops.push_back({loop.at - loop.length + 1, loop.at});
        instrument.sounds.push_back(std::move(sound));
        soundOf[sample.name] = instrument.sounds.size() - 1;
        return instrument.sounds.size() - 1;
    };

    for (const disk::ImageKeygroup& keygroup : Keygroups(contents, program)) {
        std::vector<bool> used(keygroup.zones.size(), false);
        for (std::size_t z = 0; z < keygroup.zones.size(); ++z) {
            if (used[z])
                continue;
            const disk::ImageZone& played = keygroup.zones[z];
            const disk::ImageSample* sample = FindSample(volume, played.sampleName);
            if (sample == nullptr) {
                instrument.notes.push_back("program " + program.name + ": the sample " +
                                           played.sampleName + " is not in volume " + volume.name +
                                           "; its zone was left out");
                continue;
            }
            const auto sound = soundFor(*sample);
            if (!sound)
                return std::nullopt;
            Zone zone;
            zone.sound = *sound;
            zone.lowKey = std::clamp(keygroup.lowKey, 0, 127);
            zone.highKey = std::clamp(keygroup.highKey, zone.lowKey, 127);
            zone.lowVelocity = std::clamp(played.velocityLow, 0, 127); // 0 as the keygroup has it
            zone.highVelocity = std::clamp(played.velocityHigh, zone.lowVelocity, 127);
            zone.rootKey = instrument.sounds[*sound].rootKey.value_or(60);
            zone.pan = 2.0 * std::clamp(played.pan, -50, 50);
            if (!IsS900(contents))
                zone.output = std::clamp(keygroup.output, 0, 7);
            if (IsS900(contents)) {
                zone.tuneCents = sample->tune * 100.0 / 16.0;
            } else {
                zone.tuneCents =
                    Cents(OwnTune(*sample)) + Cents(keygroup.tune) + Cents(played.tune);
            }
            const auto frames = instrument.sounds[*sound].frames;
            zone.offset = std::min<std::uint64_t>(sample->startPoint, frames == 0 ? 0 : frames - 1);
            // The S900/S950 loops back from its end point: a looping sample's end point is its
            // loop's last word, and the words after it stay in the sample.
            const bool endIsLoop = IsS900(contents) && sample->loopMode != program::loopNone;
            if (frames > 0 && sample->endPoint < frames - 1 && sample->endPoint >= zone.offset &&
                !endIsLoop)
                zone.end = sample->endPoint;
            zone.loops = instrument.sounds[*sound].loops;
            switch (sample->loopMode) {
            case program::loopNormal:
                zone.loopMode = LoopMode::forward;
                break;
            case program::loopUntilRelease:
                zone.loopMode = LoopMode::sustain;
                break;
            case program::loopToEnd:
                zone.loopMode = LoopMode::forward;
                zone.notCarried.emplace_back("loop mode \"loop, then play to the end\"");
                break;
            default:
                zone.loopMode = LoopMode::none;
            }
            if (zone.loops.empty())
                zone.loopMode = LoopMode::none;

            // A stereo sample: its right half over the same velocities in the same keygroup.
            for (std::size_t other = z + 1; other < keygroup.zones.size(); ++other) {
                const disk::ImageZone& candidate = keygroup.zones[other];
                if (used[other] ||
                    !program::StereoHalves(played.sampleName, candidate.sampleName, 0) ||
                    candidate.velocityLow != played.velocityLow ||
                    candidate.velocityHigh != played.velocityHigh)
                    continue;
                const disk::ImageSample* rightSample = FindSample(volume, candidate.sampleName);
                if (rightSample == nullptr)
                    break;
                const auto rightSound = soundFor(*rightSample);
                if (!rightSound)
                    return std::nullopt;
                zone.rightSound = *rightSound;
                zone.pan = (zone.pan + 2.0 * std::clamp(candidate.pan, -50, 50)) / 2;
                used[other] = true;
                break;
            }
            instrument.zones.push_back(std::move(zone));
        }
    }
    return instrument;
}

namespace {

std::optional<std::vector<std::uint8_t>> ImageBytes(const std::filesystem::path& file,
                                                    std::string& error) {
    std::vector<std::uint8_t> bytes;
    const auto read = program::ReadRegularFile(file, largestAkaiImage,
                                               "larger than a disk image of these samplers", bytes);
    if (!read) {
        error = file.string() + ": " + read.text;
        return std::nullopt;
    }
    return bytes;
}

} // namespace

bool LooksLikeAkaiImage(const std::filesystem::path& file) {
    std::string ignored;
    const auto bytes = ImageBytes(file, ignored);
    disk::ImageContents contents;
    return bytes && disk::ReadImage(*bytes, contents);
}

std::optional<std::vector<InstrumentEntry>> ListAkaiImagePrograms(const std::filesystem::path& file,
                                                                  std::string& error) {
    const auto bytes = ImageBytes(file, error);
    if (!bytes)
        return std::nullopt;
    disk::ImageContents contents;
    if (const program::Status read = disk::ReadImage(*bytes, contents); !read) {
        error = file.string() + ": " + read.text;
        return std::nullopt;
    }
    return AkaiImageEntries(contents);
}

std::optional<Instrument> ReadAkaiImageProgram(const std::filesystem::path& file, int index,
                                               std::string& error) {
    const auto bytes = ImageBytes(file, error);
    if (!bytes)
        return std::nullopt;
    disk::ImageContents contents;
    if (const program::Status read = disk::ReadImage(*bytes, contents); !read) {
        error = file.string() + ": " + read.text;
        return std::nullopt;
    }
    auto instrument = AkaiImageProgram(*bytes, contents, index, error);
    if (!instrument)
        error = file.string() + ": " + error;
    return instrument;
}

} // namespace velomire::instrument
