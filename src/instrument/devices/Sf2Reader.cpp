#include "instrument/devices/Sf2Reader.h"

#include "instrument/devices/LibGig.h"
#include "program/SampleConverter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

namespace velomire::instrument {

namespace {

using gigsupport::Broken;
using gigsupport::ChunkNamed;
using gigsupport::FourCc;
using gigsupport::Guarded;
using gigsupport::Trimmed;

// The generator list of the bank, which sf2::File reads but keeps to itself: the zones are
// combined here from the generators as the file gives them, so that attenuation, the loop mode
// "until release" and every generator not carried are seen (libgig's regions drop them).
class Bank : public sf2::File {
public:
    explicit Bank(RIFF::File* riff) : sf2::File(riff) {}
    using sf2::File::InstBags;
    using sf2::File::InstGenLists;
    using sf2::File::InstModLists;
    using sf2::File::PresetBags;
    using sf2::File::PresetGenLists;
    using sf2::File::PresetModLists;
};

// The generators by number, as SoundFont 2.04 banks number them.
constexpr std::array<std::string_view, 61> generatorNames = {"startAddrsOffset",
                                                             "endAddrsOffset",
                                                             "startloopAddrsOffset",
                                                             "endloopAddrsOffset",
                                                             "startAddrsCoarseOffset",
                                                             "modLfoToPitch",
                                                             "vibLfoToPitch",
                                                             "modEnvToPitch",
                                                             "initialFilterFc",
                                                             "initialFilterQ",
                                                             "modLfoToFilterFc",
                                                             "modEnvToFilterFc",
                                                             "endAddrsCoarseOffset",
                                                             "modLfoToVolume",
                                                             "unused1",
                                                             "chorusEffectsSend",
                                                             "reverbEffectsSend",
                                                             "pan",
                                                             "unused2",
                                                             "unused3",
                                                             "unused4",
                                                             "delayModLFO",
                                                             "freqModLFO",
                                                             "delayVibLFO",
                                                             "freqVibLFO",
                                                             "delayModEnv",
                                                             "attackModEnv",
                                                             "holdModEnv",
                                                             "decayModEnv",
                                                             "sustainModEnv",
                                                             "releaseModEnv",
                                                             "keynumToModEnvHold",
                                                             "keynumToModEnvDecay",
                                                             "delayVolEnv",
                                                             "attackVolEnv",
                                                             "holdVolEnv",
                                                             "decayVolEnv",
                                                             "sustainVolEnv",
                                                             "releaseVolEnv",
                                                             "keynumToVolEnvHold",
                                                             "keynumToVolEnvDecay",
                                                             "instrument",
                                                             "reserved1",
                                                             "keyRange",
                                                             "velRange",
                                                             "startloopAddrsCoarseOffset",
                                                             "keynum",
                                                             "velocity",
                                                             "initialAttenuation",
                                                             "reserved2",
                                                             "endloopAddrsCoarseOffset",
                                                             "coarseTune",
                                                             "fineTune",
                                                             "sampleID",
                                                             "sampleModes",
                                                             "reserved3",
                                                             "scaleTuning",
                                                             "exclusiveClass",
                                                             "overridingRootKey",
                                                             "unused5",
                                                             "endOper"};

enum Generator : std::uint16_t {
    startOffset = 0,
    endOffset = 1,
    startLoopOffset = 2,
    endLoopOffset = 3,
    startCoarseOffset = 4,
    endCoarseOffset = 12,
    panGenerator = 17,
    instrumentGenerator = 41,
    keyRange = 43,
    velRange = 44,
    startLoopCoarseOffset = 45,
    attenuation = 48,
    endLoopCoarseOffset = 50,
    coarseTune = 51,
    fineTune = 52,
    sampleId = 53,
    sampleModes = 54,
    scaleTuning = 56,
    overridingRootKey = 58,
    generatorCount = 61,
};

bool Carried(std::uint16_t generator) {
    switch (generator) {
    case startOffset:
    case endOffset:
    case startLoopOffset:
    case endLoopOffset:
    case startCoarseOffset:
    case endCoarseOffset:
    case panGenerator:
    case instrumentGenerator:
    case keyRange:
    case velRange:
    case startLoopCoarseOffset:
    case attenuation:
    case endLoopCoarseOffset:
    case coarseTune:
    case fineTune:
    case sampleId:
    case sampleModes:
    case overridingRootKey:
        return true;
    default:
        return false;
    }
}

// Unused and reserved generators are ignored, as the SoundFont 2 format asks of a reader.
bool Ignored(std::uint16_t generator) {
    return generator >= generatorCount || generatorNames[generator].starts_with("unused") ||
           generatorNames[generator].starts_with("reserved") || generator == 60;
}

// One zone's generators: the amounts the zone sets, by generator number.
struct Generators {
    std::array<std::optional<std::uint16_t>, generatorCount> amount{};
    std::set<std::string> modulators; // what the zone's modulators drive, by generator name

    int Signed(Generator g, int otherwise) const {
        return amount[g] ? static_cast<std::int16_t>(*amount[g]) : otherwise;
    }
    std::pair<int, int> Range(Generator g) const {
        if (!amount[g])
            return {0, 127};
        return {*amount[g] & 0xFF, *amount[g] >> 8};
    }
};

// The generators and modulators of bags [first, last) of a bag list, one Generators per bag.
template <class BagList, class GenList, class ModList, class GenIndex, class ModIndex>
std::optional<std::vector<Generators>>
ZoneGenerators(const BagList& bags, const GenList& gens, const ModList& mods, std::size_t first,
               std::size_t last, GenIndex genIndex, ModIndex modIndex, std::string& error) {
    std::vector<Generators> zones;
    if (bags.empty() || last >= bags.size() || first > last) {
        error = "its zone list is broken";
        return std::nullopt;
    }
    for (std::size_t bag = first; bag < last; ++bag) {
        const std::size_t genFrom = genIndex(bags[bag]);
        const std::size_t genTo = genIndex(bags[bag + 1]);
        const std::size_t modFrom = modIndex(bags[bag]);
        const std::size_t modTo = modIndex(bags[bag + 1]);
        if (genFrom > genTo || genTo > gens.size() || modFrom > modTo || modTo > mods.size()) {
            error = "its generator list is broken";
            return std::nullopt;
        }
        Generators zone;
        for (std::size_t g = genFrom; g < genTo; ++g) {
            const std::uint16_t oper = gens[g].GenOper;
            if (!Ignored(oper))
                zone.amount[oper] = gens[g].GenAmount.wAmount;
        }
        for (std::size_t m = modFrom; m < modTo; ++m) {
            const std::uint16_t destination = mods[m].ModDestOper;
            zone.modulators.insert(destination < generatorCount
                                       ? "modulator to " + std::string(generatorNames[destination])
                                       : std::string("modulator to a modulator"));
        }
        zones.push_back(std::move(zone));
    }
    return zones;
}

// A zone's generators over its level's global zone: the zone's own amounts win.
Generators Over(const Generators& global, const Generators& local) {
    Generators merged = global;
    for (std::size_t g = 0; g < generatorCount; ++g)
        if (local.amount[g])
            merged.amount[g] = local.amount[g];
    merged.modulators.insert(local.modulators.begin(), local.modulators.end());
    return merged;
}

// The generators a preset zone may set: the others are ignored at that level.
bool PresetMaySet(std::uint16_t generator) {
    switch (generator) {
    case startOffset:
    case endOffset:
    case startLoopOffset:
    case endLoopOffset:
    case startCoarseOffset:
    case endCoarseOffset:
    case startLoopCoarseOffset:
    case 46: // keynum
    case 47: // velocity
    case endLoopCoarseOffset:
    case sampleId:
    case sampleModes:
    case 57: // exclusiveClass
    case overridingRootKey:
        return false;
    default:
        return true;
    }
}

// The frames of sample `sample` from its header's start to its end, as 16-bit words.
bool ReadWords(sf2::Sample& sample, std::vector<std::int16_t>& words, std::string& error) {
    const std::uint64_t frames = sample.End - sample.Start;
    words.assign(frames, 0);
    RIFF::Chunk* data = sample.pCkSmpl;
    RIFF::Chunk* low = sample.pCkSm24;
    if (data == nullptr || std::uint64_t{sample.End} * 2 > data->GetSize()) {
        error = "sample \"" + Trimmed(sample.Name) + "\" lies beyond the sample data";
        return false;
    }
    if (low != nullptr && sample.End > low->GetSize())
        low = nullptr; // a short 24-bit chunk: the bank is read as 16-bit, as players do
    data->SetPos(std::uint64_t{sample.Start} * 2);
    if (data->ReadInt16(words.data(), frames) != frames) {
        error = "sample \"" + Trimmed(sample.Name) + "\" could not be read";
        return false;
    }
    if (low == nullptr)
        return true;
    // 24-bit data: the low bytes beside the words, rounded to 16 bits by Add Samples' rounding.
    std::vector<std::uint8_t> bytes(frames);
    low->SetPos(sample.Start);
    if (low->ReadUint8(bytes.data(), frames) != frames) {
        error = "sample \"" + Trimmed(sample.Name) + "\" could not be read";
        return false;
    }
    program::Quantizer16 quantizer(false);
    for (std::uint64_t i = 0; i < frames; ++i) {
        const std::int32_t value = std::int32_t{words[i]} * 256 + bytes[i];
        words[i] = quantizer.Next(value / 8388608.0);
    }
    return true;
}

struct Reader {
    Bank& bank;
    Instrument instrument;
    std::map<int, std::size_t> soundOfSample; // bank sample index -> instrument sound index
    std::uint64_t words = 0;

    // The sound of bank sample `index`, read the first time a zone plays it.
    std::optional<std::size_t> SoundOf(int index, std::string& error) {
        if (const auto found = soundOfSample.find(index); found != soundOfSample.end())
            return found->second;
        sf2::Sample& sample = *bank.GetSample(index);
        const std::string name = Trimmed(sample.Name);
        if (sample.End < sample.Start || sample.End - sample.Start > program::maxConvertedFrames) {
            error = "sample \"" + name + "\" has " +
                    (sample.End < sample.Start ? "its end before its start"
                                               : "more frames than any sampler holds");
            return std::nullopt;
        }
        words += sample.End - sample.Start;
        if (words > maxSoundFontWords) {
            error = "the preset's samples hold more than " +
                    std::to_string(maxSoundFontWords / (1024ull * 1024)) + " Mi words";
            return std::nullopt;
        }
        Sound sound;
        sound.name = name;
        sound.rate = sample.SampleRate;
        sound.frames = sample.End - sample.Start;
        if (!ReadWords(sample, sound.words, error))
            return std::nullopt;
        // The header's loop: its end is the first frame after the loop.
        if (sample.StartLoop >= sample.Start && sample.EndLoop > sample.StartLoop &&
            sample.EndLoop <= sample.End)
            sound.loops.push_back(
                {sample.StartLoop - sample.Start, sample.EndLoop - 1 - sample.Start});
        if (sample.OriginalPitch <= 127)
            sound.rootKey = sample.OriginalPitch;
        instrument.sounds.push_back(std::move(sound));
        soundOfSample[index] = instrument.sounds.size() - 1;
        return instrument.sounds.size() - 1;
    }

    // The zone instrument zone `own` (over the preset zone `preset`) plays, or nothing (with a
    // note) when it plays nothing a sampler can take.
    std::optional<Zone> MakeZone(const Generators& preset, const Generators& own,
                                 const std::string& instrumentName, std::string& error,
                                 bool& failed) {
        const auto [presetLowKey, presetHighKey] = preset.Range(keyRange);
        const auto [ownLowKey, ownHighKey] = own.Range(keyRange);
        const auto [presetLowVel, presetHighVel] = preset.Range(velRange);
        const auto [ownLowVel, ownHighVel] = own.Range(velRange);
        Zone zone;
        zone.lowKey = std::max(presetLowKey, ownLowKey);
        zone.highKey = std::min({presetHighKey, ownHighKey, 127});
        zone.lowVelocity = std::max({presetLowVel, ownLowVel, 1});
        zone.highVelocity = std::min({presetHighVel, ownHighVel, 127});
        if (zone.lowKey > zone.highKey || zone.lowVelocity > zone.highVelocity)
            return std::nullopt; // the preset zone does not reach this zone: nothing plays it

        const int sampleIndex = *own.amount[sampleId];
        if (sampleIndex >= bank.GetSampleCount()) {
            instrument.notes.push_back("instrument \"" + instrumentName +
                                       "\": a zone names sample " + std::to_string(sampleIndex) +
                                       ", which the bank does not have; it was left out");
            return std::nullopt;
        }
        sf2::Sample& sample = *bank.GetSample(sampleIndex);
        if (sample.SampleType & 0x8000) {
            instrument.notes.push_back("instrument \"" + instrumentName + "\": sample \"" +
                                       Trimmed(sample.Name) +
                                       "\" lies in a sound ROM the bank does not hold; its zone "
                                       "was left out");
            return std::nullopt;
        }
        if (sample.SampleRate == 0) {
            instrument.notes.push_back("sample \"" + Trimmed(sample.Name) +
                                       "\" has a rate of 0 Hz; its zone was left out");
            return std::nullopt;
        }
        const auto sound = SoundOf(sampleIndex, error);
        if (!sound) {
            failed = true;
            return std::nullopt;
        }
        zone.sound = *sound;
        const Sound& played = instrument.sounds[*sound];

        const int overriding = own.Signed(overridingRootKey, -1);
        if (overriding >= 0 && overriding <= 127)
            zone.rootKey = overriding;
        else
            zone.rootKey = played.rootKey.value_or(60);
        // A signed byte in the header: 256 - n is -n cents.
        const int pitchCorrection =
            sample.PitchCorrection > 127 ? sample.PitchCorrection - 256 : sample.PitchCorrection;
        zone.tuneCents = 100.0 * (own.Signed(coarseTune, 0) + preset.Signed(coarseTune, 0)) +
                         own.Signed(fineTune, 0) + preset.Signed(fineTune, 0) + pitchCorrection;
        // Attenuation in centibels; pan in 0.1 % from -500 (left) to 500 (right).
        zone.volumeDb = -(own.Signed(attenuation, 0) + preset.Signed(attenuation, 0)) / 10.0;
        zone.pan = std::clamp((own.Signed(panGenerator, 0) + preset.Signed(panGenerator, 0)) / 5.0,
                              -100.0, 100.0);

        // Address offsets move the sample header's points, in frames (coarse: 32768 frames).
        const std::int64_t frames = static_cast<std::int64_t>(played.frames);
        const std::int64_t start =
            own.Signed(startOffset, 0) + 32768LL * own.Signed(startCoarseOffset, 0);
        const std::int64_t end =
            frames + own.Signed(endOffset, 0) + 32768LL * own.Signed(endCoarseOffset, 0);
        const std::int64_t first = std::clamp<std::int64_t>(start, 0, frames - 1);
        const std::int64_t after = std::clamp<std::int64_t>(end, first + 1, frames);
        if (first != start || after != end)
            zone.notCarried.emplace_back("start or end offset beyond the sample (kept within it)");
        zone.offset = static_cast<std::uint64_t>(first);
        if (after != frames)
            zone.end = static_cast<std::uint64_t>(after - 1);

        const int modes = own.Signed(sampleModes, 0) & 3;
        zone.loopMode = modes == 1   ? LoopMode::forward
                        : modes == 3 ? LoopMode::sustain
                                     : LoopMode::none;
        const std::int64_t loopStart = std::int64_t{sample.StartLoop} - sample.Start +
                                       own.Signed(startLoopOffset, 0) +
                                       32768LL * own.Signed(startLoopCoarseOffset, 0);
        const std::int64_t loopAfter = std::int64_t{sample.EndLoop} - sample.Start +
                                       own.Signed(endLoopOffset, 0) +
                                       32768LL * own.Signed(endLoopCoarseOffset, 0);
        if (loopStart >= 0 && loopAfter > loopStart && loopAfter <= frames) {
            zone.loops.push_back(
                {static_cast<std::uint32_t>(loopStart), static_cast<std::uint32_t>(loopAfter - 1)});
        } else if (zone.loopMode != LoopMode::none) {
            zone.loopMode = LoopMode::none;
            zone.notCarried.emplace_back("a loop outside its sample (played without the loop)");
        }

        std::set<std::string> dropped;
        for (std::uint16_t g = 0; g < generatorCount; ++g) {
            if (Carried(g))
                continue;
            const bool set = own.amount[g] || (preset.amount[g] && PresetMaySet(g));
            if (set && !(g == scaleTuning && own.Signed(scaleTuning, 100) == 100 &&
                         preset.Signed(scaleTuning, 0) == 0))
                dropped.insert(std::string(generatorNames[g]));
        }
        dropped.insert(own.modulators.begin(), own.modulators.end());
        dropped.insert(preset.modulators.begin(), preset.modulators.end());
        zone.notCarried.insert(zone.notCarried.end(), dropped.begin(), dropped.end());
        return zone;
    }

    // Merges the two zones of each stereo pair (a left sample and the right sample it links to,
    // over the same keys and velocities) into one zone with both sounds.
    void PairStereo() {
        std::map<std::size_t, int> sampleOfSound;
        for (const auto& [sample, sound] : soundOfSample)
            sampleOfSound[sound] = sample;
        std::vector<bool> merged(instrument.zones.size(), false);
        for (std::size_t i = 0; i < instrument.zones.size(); ++i) {
            Zone& left = instrument.zones[i];
            if (merged[i])
                continue;
            const sf2::Sample& sample = *bank.GetSample(sampleOfSound[left.sound]);
            if ((sample.SampleType & 0x7FFF) != sf2::Sample::LEFT_SAMPLE)
                continue;
            const auto right = soundOfSample.find(sample.SampleLink);
            if (right == soundOfSample.end())
                continue;
            for (std::size_t j = 0; j < instrument.zones.size(); ++j) {
                const Zone& other = instrument.zones[j];
                if (j == i || merged[j] || other.sound != right->second ||
                    other.lowKey != left.lowKey || other.highKey != left.highKey ||
                    other.lowVelocity != left.lowVelocity ||
                    other.highVelocity != left.highVelocity)
                    continue;
                left.rightSound = other.sound;
                left.pan = (left.pan + other.pan) / 2;
                merged[j] = true;
                break;
            }
        }
        std::vector<Zone> kept;
        for (std::size_t i = 0; i < instrument.zones.size(); ++i)
            if (!merged[i])
                kept.push_back(std::move(instrument.zones[i]));
        instrument.zones = std::move(kept);
    }
};

// The body of chunk `id` of `list`: whole records of `record` bytes, the terminal one included.
std::vector<std::uint8_t> Records(RIFF::List* list, const char (&id)[5], std::size_t record,
                                  std::uint64_t fileBytes) {
    RIFF::Chunk* chunk = list->GetSubChunk(FourCc(id));
    if (chunk == nullptr)
        throw Broken{std::string("it has no ") + id + " chunk"};
    const std::uint64_t size = chunk->GetSize();
    if (size > fileBytes || size % record != 0 || size < record)
        throw Broken{std::string("its ") + id + " chunk has " + std::to_string(size) +
                     " bytes, not whole records of " + std::to_string(record)};
    std::vector<std::uint8_t> bytes(size);
    chunk->SetPos(0);
    if (chunk->Read(bytes.data(), size, 1) != size)
        throw Broken{std::string("its ") + id + " chunk is cut short"};
    chunk->SetPos(0); // where sf2::File starts reading it
    return bytes;
}

std::uint32_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | static_cast<std::uint32_t>(b[at + 1]) << 8;
}

// Checks a header list (phdr, inst) against its bags and the bags against their generator and
// modulator lists: every index in range and none going back.
void CheckIndices(const std::vector<std::uint8_t>& headers, std::size_t headerBytes,
                  const std::vector<std::uint8_t>& bags, const std::vector<std::uint8_t>& mods,
                  const std::vector<std::uint8_t>& gens, const char* what) {
    const std::size_t bagCount = bags.size() / 4;
    std::uint32_t last = 0;
    for (std::size_t at = 0; at < headers.size(); at += headerBytes) {
        const std::uint32_t bag = Le16(headers, at + headerBytes - (headerBytes == 38 ? 14 : 2));
        if (bag < last || bag >= bagCount)
            throw Broken{std::string("its ") + what + " zone list is broken"};
        last = bag;
    }
    std::uint32_t lastGen = 0, lastMod = 0;
    for (std::size_t at = 0; at < bags.size(); at += 4) {
        const std::uint32_t gen = Le16(bags, at), mod = Le16(bags, at + 2);
        if (gen < lastGen || gen >= gens.size() / 4 || mod < lastMod || mod >= mods.size() / 10)
            throw Broken{std::string("its ") + what + " generator list is broken"};
        lastGen = gen;
        lastMod = mod;
    }
}

// What libgig takes on trust, checked first: the chunks it reads, and every index in the lists
// and generators pointing inside what it names.
void CheckStructure(RIFF::File& riff, std::uint64_t fileBytes) {
    RIFF::List* info = riff.GetSubList(FourCc("INFO"));
    RIFF::List* sdta = riff.GetSubList(FourCc("sdta"));
    RIFF::List* pdta = riff.GetSubList(FourCc("pdta"));
    if (info == nullptr || sdta == nullptr || pdta == nullptr)
        throw Broken{"it lacks one of the INFO, sdta and pdta lists"};
    Records(info, "ifil", 4, fileBytes);
    RIFF::Chunk* smpl = sdta->GetSubChunk(FourCc("smpl"));
    if (smpl == nullptr || smpl->GetSize() > fileBytes)
        throw Broken{"its sample data is missing or longer than the file"};
    if (RIFF::Chunk* sm24 = sdta->GetSubChunk(FourCc("sm24")); sm24 && sm24->GetSize() > fileBytes)
        throw Broken{"its 24-bit sample data is longer than the file"};
    const auto phdr = Records(pdta, "phdr", 38, fileBytes);
    const auto pbag = Records(pdta, "pbag", 4, fileBytes);
    const auto pmod = Records(pdta, "pmod", 10, fileBytes);
    const auto pgen = Records(pdta, "pgen", 4, fileBytes);
    const auto inst = Records(pdta, "inst", 22, fileBytes);
    const auto ibag = Records(pdta, "ibag", 4, fileBytes);
    const auto imod = Records(pdta, "imod", 10, fileBytes);
    const auto igen = Records(pdta, "igen", 4, fileBytes);
    const auto shdr = Records(pdta, "shdr", 46, fileBytes);
    CheckIndices(phdr, 38, pbag, pmod, pgen, "preset");
    CheckIndices(inst, 22, ibag, imod, igen, "instrument");
    const std::size_t instruments = inst.size() / 22 - 1, samples = shdr.size() / 46 - 1;
    for (std::size_t at = 0; at < pgen.size(); at += 4)
        if (Le16(pgen, at) == instrumentGenerator && Le16(pgen, at + 2) >= instruments)
            throw Broken{"a preset zone names an instrument the bank does not have"};
    for (std::size_t at = 0; at < igen.size(); at += 4)
        if (Le16(igen, at) == sampleId && Le16(igen, at + 2) >= samples)
            throw Broken{"an instrument zone names a sample the bank does not have"};
    for (std::size_t at = 0; at + 46 < shdr.size(); at += 46) {
        const std::uint32_t type = Le16(shdr, at + 44) & 0x7FFF;
        if (type != sf2::Sample::MONO_SAMPLE && Le16(shdr, at + 42) >= samples)
            throw Broken{"a stereo sample links to a sample the bank does not have"};
    }
}

// The bank's chunk tree, walked from the file's own chunk headers before libgig sees it: every
// chunk inside its list, and few enough of them (libgig's walk over a list whose size runs past
// the file takes minutes).
void CheckChunkTree(const std::filesystem::path& file, std::uint64_t fileBytes) {
    std::ifstream in(file, std::ios::binary);
    auto header = [&](std::uint64_t at, char(&id)[5], std::uint64_t& size) {
        unsigned char bytes[8] = {};
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(bytes), 8))
            throw Broken{"it ends inside a chunk header"};
        std::copy_n(bytes, 4, id);
        id[4] = '\0';
        size = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | std::uint64_t{bytes[7]} << 24;
    };
    char id[5];
    std::uint64_t size = 0;
    header(0, id, size);
    if (std::string_view(id) != "RIFF" || size + 8 > fileBytes || size < 4)
        throw Broken{"its RIFF header does not fit the file"};
    int chunks = 0;
    // The chunks between `from` and `to`; lists (one level down) are walked too.
    auto walk = [&](auto& self, std::uint64_t from, std::uint64_t to, int depth) -> void {
        for (std::uint64_t at = from; at + 8 <= to;) {
            if (++chunks > 100000)
                throw Broken{"it has more chunks than any bank"};
            header(at, id, size);
            const std::uint64_t next = at + 8 + size + (size & 1);
            if (at + 8 + size > to)
                throw Broken{ChunkNamed(std::string_view(id, 4)) +
                             " runs past the end of its list"};
            if (std::string_view(id) == "LIST" && depth == 0)
                self(self, at + 12, at + 8 + size, depth + 1);
            at = next;
        }
    };
    walk(walk, 12, 8 + size, 0);
}

std::unique_ptr<Bank> OpenBank(const std::filesystem::path& file,
                               std::unique_ptr<RIFF::File>& riff) {
    std::error_code failed;
    const std::uint64_t fileBytes = std::filesystem::file_size(file, failed);
    if (failed)
        throw Broken{"it cannot be opened"};
    CheckChunkTree(file, fileBytes);
    riff = std::make_unique<RIFF::File>(file.string());
    if (riff->GetListType() != FourCc("sfbk"))
        throw Broken{"it is not a SoundFont bank"};
    CheckStructure(*riff, fileBytes);
    return std::make_unique<Bank>(riff.get());
}

} // namespace

std::optional<std::vector<InstrumentEntry>> ListSoundFont2Presets(const std::filesystem::path& file,
                                                                  std::string& error) {
    return Guarded<std::vector<InstrumentEntry>>(
        file, "SoundFont 2 bank", error, [&]() -> std::optional<std::vector<InstrumentEntry>> {
            std::unique_ptr<RIFF::File> riff;
            const auto bank = OpenBank(file, riff);
            std::vector<InstrumentEntry> entries;
            for (int i = 0; i < bank->GetPresetCount(); ++i) {
                const sf2::Preset& preset = *bank->GetPreset(i);
                entries.push_back({Trimmed(preset.Name), i,
                                   "bank " + std::to_string(preset.Bank) + " preset " +
                                       std::to_string(preset.PresetNum)});
            }
            return entries;
        });
}

std::optional<Instrument> ReadSoundFont2Preset(const std::filesystem::path& file, int index,
                                               std::string& error) {
    std::string why;
    return Guarded<Instrument>(file, "SoundFont 2 bank", error, [&]() -> std::optional<Instrument> {
        std::unique_ptr<RIFF::File> riff;
        const auto bank = OpenBank(file, riff);
        if (index < 0 || index >= bank->GetPresetCount()) {
            error = file.string() + ": has no preset " + std::to_string(index);
            return std::nullopt;
        }
        Reader reader{*bank, {}, {}, 0};
        sf2::Preset& preset = *bank->GetPreset(index);
        reader.instrument.name = Trimmed(preset.Name);
        const std::size_t presetEnd =
            index + 1 < bank->GetPresetCount()
                ? bank->GetPreset(index + 1)->PresetBagNdx
                : (bank->PresetBags.empty() ? 0 : bank->PresetBags.size() - 1);
        const auto presetZones = ZoneGenerators(
            bank->PresetBags, bank->PresetGenLists, bank->PresetModLists, preset.PresetBagNdx,
            presetEnd, [](const sf2::PresetBag& b) { return b.GenNdx; },
            [](const sf2::PresetBag& b) { return b.ModNdx; }, why);
        if (!presetZones) {
            error = file.string() + ": preset \"" + reader.instrument.name + "\": " + why;
            return std::nullopt;
        }
        Generators presetGlobal;
        for (std::size_t p = 0; p < presetZones->size(); ++p) {
            const Generators& zone = (*presetZones)[p];
            if (!zone.amount[instrumentGenerator]) {
                if (p == 0) // a first zone without an instrument is the preset's global zone
                    presetGlobal = zone;
                continue;
            }
            const Generators presetZone = Over(presetGlobal, zone);
            const int instrumentIndex = *zone.amount[instrumentGenerator];
            if (instrumentIndex >= bank->GetInstrumentCount()) {
                reader.instrument.notes.push_back("a preset zone names instrument " +
                                                  std::to_string(instrumentIndex) +
                                                  ", which the bank does not have");
                continue;
            }
            const sf2::Instrument& own = *bank->GetInstrument(instrumentIndex);
            const std::string ownName = Trimmed(own.Name);
            const std::size_t ownEnd =
                instrumentIndex + 1 < bank->GetInstrumentCount()
                    ? bank->GetInstrument(instrumentIndex + 1)->InstBagNdx
                    : (bank->InstBags.empty() ? 0 : bank->InstBags.size() - 1);
            const auto ownZones = ZoneGenerators(
                bank->InstBags, bank->InstGenLists, bank->InstModLists, own.InstBagNdx, ownEnd,
                [](const sf2::InstBag& b) { return b.InstGenNdx; },
                [](const sf2::InstBag& b) { return b.InstModNdx; }, why);
            if (!ownZones) {
                error = file.string() + ": instrument \"" + ownName + "\": ";
                error += why;
                return std::nullopt;
            }
            Generators ownGlobal;
            for (std::size_t z = 0; z < ownZones->size(); ++z) {
                const Generators& local = (*ownZones)[z];
                if (!local.amount[sampleId]) {
                    if (z == 0)
                        ownGlobal = local;
                    continue;
                }
                bool failed = false;
                auto made =
                    reader.MakeZone(presetZone, Over(ownGlobal, local), ownName, why, failed);
                if (failed) {
                    error = file.string() + ": " + why;
                    return std::nullopt;
                }
                if (made)
                    reader.instrument.zones.push_back(std::move(*made));
            }
        }
        reader.PairStereo();
        return std::move(reader.instrument);
    });
}

} // namespace velomire::instrument
