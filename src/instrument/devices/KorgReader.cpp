#include "instrument/devices/KorgReader.h"

#include "instrument/devices/LibGig.h"
#include "program/SampleConverter.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

namespace velomire::instrument {

namespace {

using gigsupport::Broken;
using gigsupport::Guarded;
using gigsupport::Trimmed;
namespace korg { // apart from the other libgig readers' names, with which it may share a unit

std::uint32_t Be32(const std::uint8_t* b) {
    return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
           static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A name from the file as a message shows it: on one line, whatever bytes it holds.
std::string Shown(std::string name) {
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c < ' ' || c > '~'; }, '?');
    return name;
}

// A multisample of 255 regions takes a few kilobytes; a sample of the most frames any sampler
// holds takes 32 MiB. Both bounds keep libgig's chunk sizes in 32 bits.
constexpr std::uint64_t maxKmpBytes = 1024ull * 1024;
constexpr std::uint64_t maxKsfBytes = 256ull * 1024 * 1024;

// ---- the chunks, walked before libgig sees them ---------------------------------------------

// A .kmp or .ksf file: chunks one after the other from its first byte, each an id, a big-endian
// 32-bit size and a body padded to an even length, as libgig walks them (bytes too few for a
// chunk header at the end are passed over).
class ChunkFile {
public:
    struct Chunk {
        std::uint64_t at = 0; // where the body starts
        std::uint64_t size = 0;
    };

    ChunkFile(const std::filesystem::path& file, std::uint64_t maxBytes)
        : in(file, std::ios::binary) {
        std::error_code failed;
        if (!std::filesystem::is_regular_file(file, failed))
            throw Broken{"it is not a file"};
        const std::uint64_t bytes = std::filesystem::file_size(file, failed);
        if (failed || !in)
            throw Broken{"it cannot be opened"};
        if (bytes > maxBytes)
            throw Broken{"it has " + std::to_string(bytes) + " bytes, more than any such file"};
        int count = 0;
        for (std::uint64_t at = 0; at + 8 <= bytes;) {
            if (++count > 256)
                throw Broken{"it has more chunks than any such file"};
            const auto header = Read(at, 8);
            const std::string id(header.begin(), header.begin() + 4);
            const std::uint64_t size = Be32(&header[4]);
            const std::string named = Named(id);
            if (id == "LIST") // libgig would read it as a list of chunks
                throw Broken{"it holds a chunk list, which no such file has"};
            if (at + 8 + size > bytes)
                throw Broken{named + " runs past the end of the file"};
            if (count == 1)
                first = id;
            // libgig takes the last chunk of an id, the checks here the first: neither may hide
            const bool read = id == "MSP1" || id == "RLP1" || id == "NAME" || id == "SMP1" ||
                              id == "SMD1" || id == "SMF1";
            if (!chunks.emplace(id, Chunk{at + 8, size}).second && read)
                throw Broken{"it has more than one " + id + " chunk"};
            at += 8 + size + (size & 1);
        }
    }

    std::vector<std::uint8_t> Read(std::uint64_t at, std::size_t count) {
        std::vector<std::uint8_t> bytes(count);
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count)))
            throw Broken{"it ends inside a chunk"};
        return bytes;
    }

    // Chunk `id`, whose body has at least `bytes` bytes, or nothing when the file has none.
    std::optional<Chunk> Find(const std::string& id, std::uint64_t bytes) const {
        const auto found = chunks.find(id);
        if (found == chunks.end())
            return std::nullopt;
        if (found->second.size < bytes)
            throw Broken{"its " + id + " chunk has " + std::to_string(found->second.size) +
                         " bytes, fewer than " + std::to_string(bytes)};
        return found->second;
    }

    std::string first; // the id of the first chunk

private:
    // A chunk as an error names it: by its id, when the id is printable text.
    static std::string Named(const std::string& id) {
        const bool printable =
            std::all_of(id.begin(), id.end(), [](char c) { return c >= ' ' && c <= '~'; });
        return printable ? "its " + id + " chunk" : std::string("a chunk");
    }

    std::ifstream in;
    std::map<std::string, Chunk> chunks;
};

// The multisample, checked: an MSP1 chunk first (name, region count), an RLP1 chunk of 18 bytes
// a region, and a NAME chunk of 24 bytes when there is one.
std::unique_ptr<Korg::KMPInstrument> OpenMultisample(const std::filesystem::path& file) {
    ChunkFile chunks(file, maxKmpBytes);
    if (chunks.first != "MSP1")
        throw Broken{"it does not begin with an MSP1 chunk"};
    const auto msp1 = chunks.Find("MSP1", 18);
    const std::uint64_t regions = chunks.Read(msp1->at + 16, 1)[0];
    const auto rlp1 = chunks.Find("RLP1", 0);
    if (!rlp1)
        throw Broken{"it has no RLP1 chunk"};
    if (rlp1->size < 18 * regions)
        throw Broken{"its MSP1 chunk names " + std::to_string(regions) +
                     " regions, its RLP1 chunk holds " + std::to_string(rlp1->size / 18)};
    chunks.Find("NAME", 24);
    return std::make_unique<Korg::KMPInstrument>(file.string());
}

std::string NameOf(Korg::KMPInstrument& multisample, const std::filesystem::path& file) {
    const std::string name = Shown(Trimmed(multisample.Name()));
    return name.empty() ? file.stem().string() : name;
}

// ---- reading --------------------------------------------------------------------------------

// A sample as its regions play it: its sound and its loop, or why it was left out.
struct Sample {
    std::optional<std::size_t> sound;
    std::optional<Loop> loop;
    bool loopOutside = false;
    bool loopTuned = false;
    std::string leftOut; // the note, when there is no sound
};

struct Reader {
    std::filesystem::path folder;
    Instrument instrument;
    std::map<std::string, Sample> samples; // by the name the multisample gives
    std::optional<std::map<std::string, std::filesystem::path>> folderFiles; // by lower case
    std::uint64_t words = 0;

    // The file named `name` in the multisample's folder, matched whatever the letter case.
    std::optional<std::filesystem::path> Find(const std::string& name) {
        std::error_code failed;
        if (std::filesystem::is_regular_file(folder / name, failed))
            return folder / name;
        if (!folderFiles) {
            folderFiles.emplace();
            int count = 0;
            for (std::filesystem::directory_iterator it(folder, failed), end;
                 !failed && it != end && ++count <= 100000; it.increment(failed))
                folderFiles->emplace(Lower(it->path().filename().string()), it->path());
        }
        const auto found = folderFiles->find(Lower(name));
        return found == folderFiles->end() ? std::nullopt : std::optional(found->second);
    }

    // Sample file `name`, read once however many regions play it.
    const Sample& SampleNamed(const std::string& name) {
        if (const auto found = samples.find(name); found != samples.end())
            return found->second;
        Sample sample;
        const std::string shown = Shown(name);
        if (const auto path = Find(name)) {
            try {
                sample = ReadSample(*path, shown);
            } catch (const Broken& e) {
                throw Broken{"its sample file " + shown + ": " + e.why};
            } catch (const RIFF::Exception& e) {
                throw Broken{"its sample file " + shown + ": " + Shown(e.Message)};
            }
        } else {
            sample.leftOut = "sample file " + shown + " is not in the multisample's folder";
        }
        return samples.emplace(name, std::move(sample)).first->second;
    }

    // A .ksf file: an SMP1 chunk first (name, start, loop), an SMD1 chunk (rate, attributes,
    // channels, bits, sample points, then the points as big-endian words).
    Sample ReadSample(const std::filesystem::path& path, const std::string& name) {
        Sample sample;
        ChunkFile chunks(path, maxKsfBytes);
        if (chunks.first != "SMP1")
            throw Broken{"it does not begin with an SMP1 chunk"};
        chunks.Find("SMP1", 32);
        if (chunks.Find("SMF1", 0)) {
            sample.leftOut = "sample file " + name + " takes its data from another sample file";
            return sample;
        }
        const auto smd1 = chunks.Find("SMD1", 12);
        if (!smd1)
            throw Broken{"it has no SMD1 chunk"};
        const auto header = chunks.Read(smd1->at, 12);
        const std::uint32_t rate = Be32(&header[0]), points = Be32(&header[8]);
        const std::uint8_t attributes = header[4], channels = header[6], bits = header[7];
        if (attributes & 0x10) {
            sample.leftOut = "sample file " + name + " is compressed";
            return sample;
        }
        if (channels != 1 || (bits != 8 && bits != 16)) {
            sample.leftOut = "sample file " + name + " is not 8 or 16-bit mono";
            return sample;
        }
        if (rate == 0 || points == 0) {
            sample.leftOut = "sample file " + name + " has no sample points or a rate of 0 Hz";
            return sample;
        }
        if (points > program::maxConvertedFrames)
            throw Broken{"it has more sample points than any sampler holds"};
        if (12 + std::uint64_t{points} * (bits / 8) > smd1->size)
            throw Broken{"its SMD1 chunk names " + std::to_string(points) +
                         " sample points and holds " +
                         std::to_string((smd1->size - 12) / (bits / 8))};
        words += points;
        if (words > maxKorgWords)
            throw Broken{"the multisample's samples hold more than " +
                         std::to_string(maxKorgWords / (1024ull * 1024)) + " Mi words"};

        Korg::KSFSample ksf(path.string());
        if (ksf.SamplePoints != points || ksf.BitDepth != bits || ksf.Channels != 1)
            throw Broken{"it could not be read"};
        Sound sound;
        sound.name = Trimmed(ksf.Name).empty() ? name : Shown(Trimmed(ksf.Name));
        sound.rate = ksf.SampleRate;
        sound.frames = points;
        sound.words.resize(points);
        // libgig hands 16-bit points over in the machine's byte order; 8-bit points are signed
        // as the 16-bit ones are, and move up a byte.
        constexpr std::uint32_t block = 65536;
        std::vector<std::uint8_t> buffer(std::size_t{block} * 2);
        ksf.SetPos(0);
        for (std::uint32_t done = 0; done < points;) {
            const std::uint32_t count = std::min(block, points - done);
            if (ksf.Read(buffer.data(), count) != count)
                throw Broken{"its sample points could not be read"};
            for (std::uint32_t i = 0; i < count; ++i) {
                std::int16_t word = 0;
                if (bits == 8)
                    word = static_cast<std::int16_t>(static_cast<std::int8_t>(buffer[i]) * 256);
                else
                    std::memcpy(&word, &buffer[std::size_t{2} * i], 2);
                sound.words[done + i] = word;
            }
            done += count;
        }
        // LoopEnd is the point after the loop (libgig's own converter takes LoopEnd - LoopStart
        // as the loop's length), 0 when there is none; a sample saved without a loop keeps its
        // loop start at its last point.
        const std::uint64_t loopStart = ksf.LoopStart, loopEnd = ksf.LoopEnd;
        if (loopEnd != 0 && loopStart < loopEnd && loopStart + 1 < points) {
            if (loopEnd > points)
                sample.loopOutside = true;
            else
                sample.loop = Loop{static_cast<std::uint32_t>(loopStart),
                                   static_cast<std::uint32_t>(loopEnd - 1)};
        }
        sample.loopTuned = ksf.LoopTune != 0;
        instrument.sounds.push_back(std::move(sound));
        sample.sound = instrument.sounds.size() - 1;
        return sample;
    }

    void AddZone(Korg::KMPRegion& region, int lowKey, std::size_t number) {
        const std::string regionName = "region " + std::to_string(number + 1);
        const std::string name = Trimmed(region.SampleFileName), shown = Shown(name);
        if (name == "SKIPPEDSAMPL") {
            instrument.notes.push_back(regionName + "'s sample was skipped when the multisample "
                                                    "was saved; the region was left out");
            return;
        }
        if (name.rfind("INTERNAL", 0) == 0) {
            instrument.notes.push_back(regionName + " plays the instrument's internal sample " +
                                       shown.substr(8) + "; the region was left out");
            return;
        }
        if (name.empty()) {
            instrument.notes.push_back(regionName + " names no sample file; it was left out");
            return;
        }
        // Only files beside the multisample are ever opened.
        if (name.find_first_of("/\\:") != std::string::npos || name.find("..") != std::string::npos)
            throw Broken{regionName + " names sample file \"" + shown +
                         "\", which is not a file of its folder"};
        if (lowKey > region.TopKey) {
            instrument.notes.push_back(regionName + "'s top key lies below the previous "
                                                    "region's; the region was left out");
            return;
        }
        const Sample& sample = SampleNamed(name);
        if (!sample.sound) {
            instrument.notes.push_back(sample.leftOut + "; " + regionName + " was left out");
            return;
        }
        Zone zone;
        zone.sound = *sample.sound;
        zone.lowKey = lowKey;
        zone.highKey = region.TopKey;
        zone.rootKey = region.OriginalKey;
        zone.tuneCents = region.Tune;
        if (sample.loop) {
            zone.loops.push_back(*sample.loop);
            zone.loopMode = LoopMode::forward;
        }
        if (sample.loopOutside)
            zone.notCarried.emplace_back("a loop outside its sample (played without the loop)");
        if (sample.loopTuned)
            zone.notCarried.emplace_back("loop tune");
        if (region.Transpose) // the top bit of the original key: the pitch stays across the keys
            zone.notCarried.emplace_back("no transposition (one pitch on every key)");
        // Level's unit is not given (Korg's own lists call it cents), pan is marked unused.
        if (region.Level != 0)
            zone.notCarried.emplace_back("level");
        if (region.Pan != 0 && region.Pan != 64)
            zone.notCarried.emplace_back("pan");
        if (region.FilterCutoff != 0)
            zone.notCarried.emplace_back("filter cutoff");
        instrument.zones.push_back(std::move(zone));
    }
};

std::optional<std::vector<InstrumentEntry>> List(const std::filesystem::path& file,
                                                 std::string& error) {
    return Guarded<std::vector<InstrumentEntry>>(
        file, "Korg multisample", error, [&]() -> std::optional<std::vector<InstrumentEntry>> {
            const auto multisample = OpenMultisample(file);
            return std::vector<InstrumentEntry>{
                {NameOf(*multisample, file), 0,
                 std::to_string(multisample->GetRegionCount()) + " regions"}};
        });
}

std::optional<Instrument> Read(const std::filesystem::path& file, int index, std::string& error) {
    if (index != 0) {
        error = file.string() + ": has no instrument " + std::to_string(index);
        return std::nullopt;
    }
    return Guarded<Instrument>(file, "Korg multisample", error, [&]() -> std::optional<Instrument> {
        const auto multisample = OpenMultisample(file);
        Reader reader;
        reader.folder =
            file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
        reader.instrument.name = NameOf(*multisample, file);
        int lowKey = 0; // a region starts above the previous one's top key
        for (int i = 0; i < multisample->GetRegionCount(); ++i) {
            Korg::KMPRegion& region = *multisample->GetRegion(i);
            reader.AddZone(region, lowKey, static_cast<std::size_t>(i));
            lowKey = region.TopKey + 1;
        }
        return std::move(reader.instrument);
    });
}

} // namespace korg
} // namespace

std::optional<std::vector<InstrumentEntry>> ListKorgInstruments(const std::filesystem::path& file,
                                                                std::string& error) {
    return korg::List(file, error);
}

std::optional<Instrument> ReadKorgInstrument(const std::filesystem::path& file, int index,
                                             std::string& error) {
    return korg::Read(file, index, error);
}

} // namespace velomire::instrument
