#include "instrument/devices/DlsReader.h"

#include "instrument/devices/LibGig.h"
#include "program/SampleConverter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string_view>

namespace velomire::instrument {

namespace {

using gigsupport::Broken;
using gigsupport::ChunkNamed;
using gigsupport::FourCc;
using gigsupport::Guarded;
using gigsupport::Trimmed;
namespace dls { // apart from the SoundFont reader's names, with which it may share a unit

std::uint32_t Le16(const std::uint8_t* b) {
    return b[0] | static_cast<std::uint32_t>(b[1]) << 8;
}
std::uint32_t Le32(const std::uint8_t* b) {
    return Le16(b) | static_cast<std::uint32_t>(b[2]) << 16 |
           static_cast<std::uint32_t>(b[3]) << 24;
}

// The chunk list an instrument, region or wave was read from: libgig keeps it to itself, and the
// wsmp, wlnk and articulation chunks are read from it here.
struct ResourceChunks : DLS::Resource {
    static RIFF::List* Of(DLS::Resource& resource) {
        return resource.*(&ResourceChunks::pResourceList);
    }
};

// ---- the chunk tree, walked before libgig sees it -------------------------------------------

// What the walk found that the reading needs: where the waves of the wave pool lie (from the
// start of the pool's body, as the pool table counts) and the pool table itself.
struct Layout {
    std::vector<std::uint64_t> waves; // in file order, as libgig numbers its samples
    std::vector<std::uint64_t> table; // the wave offset of each pool index
    bool gig = false;                 // chunks only a GigaStudio file has
    bool header = false;              // a colh chunk at the top, which libgig requires
};

// The checks of one chunk body against what libgig reads from it on trust.
void CheckChunk(std::string_view id, const std::vector<std::uint8_t>& body, Layout& layout) {
    const std::size_t size = body.size();
    auto atLeast = [&](std::size_t bytes) {
        if (size < bytes)
            throw Broken{"its " + std::string(id) + " chunk has " + std::to_string(size) +
                         " bytes, fewer than " + std::to_string(bytes)};
    };
    if (id == "colh" || id == "vers" || id == "dlid") {
        atLeast(id == "colh" ? 4 : id == "vers" ? 8 : 16);
    } else if (id == "insh" || id == "rgnh" || id == "wlnk") {
        atLeast(12);
    } else if (id == "fmt ") {
        atLeast(16);
        // libgig divides by the bytes of a frame of PCM data
        if (Le16(&body[0]) == 1 && (Le16(&body[2]) == 0 || Le16(&body[14]) < 8))
            throw Broken{"a wave has no channels or fewer than 8 bits"};
    } else if (id == "wsmp") {
        atLeast(20);
        const std::uint64_t header = Le32(&body[0]), loops = Le32(&body[16]);
        if (header < 20 || header > size)
            throw Broken{"a wsmp chunk's header does not fit it"};
        std::uint64_t at = header;
        for (std::uint64_t loop = 0; loop < loops; ++loop) {
            if (at + 16 > size)
                throw Broken{"a wsmp chunk names more loops than it holds"};
            at += std::max<std::uint64_t>(16, Le32(&body[at]));
        }
    } else if (id == "ptbl") {
        atLeast(8);
        const std::uint64_t header = Le32(&body[0]), count = Le32(&body[4]);
        if (header < 8 || header > size || count > (size - header) / 4)
            throw Broken{"its pool table names more waves than it holds"};
        const bool wide = size - header == count * 8; // as libgig tells 64-bit offsets
        layout.table.clear();
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = &body[header + i * (wide ? 8 : 4)];
            layout.table.push_back(wide ? std::uint64_t{Le32(entry)} << 32 | Le32(entry + 4)
                                        : Le32(entry));
        }
    } else if (id == "xfil" || id == "doxf") {
        throw Broken{"its waves lie in other files"};
    } else if (id == "3lnk" || id == "3ewa" || id == "3ewg" || id == "3gix" || id == "ewav" ||
               id == "einf") {
        layout.gig = true;
    }
}

Layout WalkChunkTree(const std::filesystem::path& file, std::uint64_t fileBytes) {
    std::ifstream in(file, std::ios::binary);
    auto read = [&](std::uint64_t at, std::size_t count) {
        std::vector<std::uint8_t> bytes(count);
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count)))
            throw Broken{"it ends inside a chunk"};
        return bytes;
    };
    auto idOf = [](const std::vector<std::uint8_t>& bytes, std::size_t at) {
        return std::string(reinterpret_cast<const char*>(&bytes[at]), 4);
    };
    const auto head = read(0, 12 <= fileBytes ? 12 : 8);
    if (idOf(head, 0) != "RIFF" || Le32(&head[4]) + 8ull > fileBytes || Le32(&head[4]) < 4)
        throw Broken{"its RIFF header does not fit the file"};

    if (head.size() == 12 && idOf(head, 8) != "DLS ")
        throw Broken{"it is not a DLS collection"};

    // The chunks whose bodies are checked (wave data and unknown chunks are only walked over).
    constexpr std::array<std::string_view, 17> checked = {
        "colh", "vers", "dlid", "insh", "rgnh", "wlnk", "fmt ", "wsmp", "ptbl",
        "xfil", "doxf", "3lnk", "3ewa", "3ewg", "3gix", "ewav", "einf"};
    Layout layout;
    // The wave pools at the top (libgig takes the first wvpl list, or else a dwpl list).
    std::vector<std::pair<std::string, std::vector<std::uint64_t>>> pools;
    int chunks = 0;
    auto walk = [&](auto& self, std::uint64_t from, std::uint64_t to, int depth,
                    std::vector<std::uint64_t>* pool, std::uint64_t poolStart) -> void {
        if (depth > 12)
            throw Broken{"its lists nest deeper than any instrument file's"};
        for (std::uint64_t at = from; at + 8 <= to;) {
            if (++chunks > 200000)
                throw Broken{"it has more chunks than any instrument file"};
            const auto header = read(at, 8);
            const std::string id = idOf(header, 0);
            const std::uint64_t size = Le32(&header[4]);
            if (at + 8 + size > to)
                throw Broken{ChunkNamed(id) + " runs past the end of its list"};
            if (id == "LIST") {
                if (size < 4)
                    throw Broken{"a list is shorter than its type"};
                const std::string type = idOf(read(at + 8, 4), 0);
                if (type == "3gri" || type == "3prg" || type == "3ewl")
                    layout.gig = true;
                if (pool && type == "wave")
                    pool->push_back(at - poolStart);
                if (depth == 0 && (type == "wvpl" || type == "dwpl")) {
                    pools.push_back({type, {}});
                    self(self, at + 12, at + 8 + size, depth + 1, &pools.back().second, at + 12);
                } else {
                    self(self, at + 12, at + 8 + size, depth + 1, nullptr, 0);
                }
            } else if (std::find(checked.begin(), checked.end(), id) != checked.end()) {
                layout.header = layout.header || (depth == 0 && id == "colh");
                CheckChunk(id, read(at + 8, static_cast<std::size_t>(size)), layout);
            }
            at += 8 + size + (size & 1);
        }
    };
    walk(walk, 12, 8 + Le32(&head[4]), 0, nullptr, 0);
    for (const char* wanted : {"wvpl", "dwpl"}) {
        const auto pool = std::find_if(pools.begin(), pools.end(),
                                       [&](const auto& found) { return found.first == wanted; });
        if (pool != pools.end()) {
            layout.waves = pool->second;
            break;
        }
    }
    return layout;
}

// ---- reading --------------------------------------------------------------------------------

struct Collection {
    std::unique_ptr<RIFF::File> riff;
    std::unique_ptr<DLS::File> dls; // destroyed before the RIFF file it reads
    Layout layout;
};

std::unique_ptr<Collection> Open(const std::filesystem::path& file) {
    std::error_code failed;
    const std::uint64_t fileBytes = std::filesystem::file_size(file, failed);
    if (failed)
        throw Broken{"it cannot be opened"};
    auto opened = std::make_unique<Collection>();
    opened->layout = WalkChunkTree(file, fileBytes);
    opened->riff = std::make_unique<RIFF::File>(file.string());
    if (opened->riff->GetListType() != FourCc("DLS "))
        throw Broken{"it is not a DLS collection"};
    if (!opened->layout.header) // libgig would throw from its constructor, losing memory
        throw Broken{"it has no colh chunk"};
    opened->dls = std::make_unique<DLS::File>(opened->riff.get());
    return opened;
}

// The file's instruments, waves and an instrument's regions, in file order. libgig 4.4 (the Windows
// build's) deprecates these walks for index-based calls that libgig 4.3 (the Linux build's) lacks.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::vector<DLS::Instrument*> Instruments(DLS::File& dls) {
    std::vector<DLS::Instrument*> all;
    for (DLS::Instrument* one = dls.GetFirstInstrument(); one; one = dls.GetNextInstrument())
        all.push_back(one);
    return all;
}

std::vector<DLS::Sample*> Samples(DLS::File& dls) {
    std::vector<DLS::Sample*> all;
    for (DLS::Sample* one = dls.GetFirstSample(); one; one = dls.GetNextSample())
        all.push_back(one);
    return all;
}

std::vector<DLS::Region*> Regions(DLS::Instrument& instrument) {
    std::vector<DLS::Region*> all;
    for (DLS::Region* one = instrument.GetFirstRegion(); one; one = instrument.GetNextRegion())
        all.push_back(one);
    return all;
}

std::vector<RIFF::List*> SubLists(RIFF::List& list, const char (&type)[5]) {
    std::vector<RIFF::List*> all;
    for (RIFF::List* one = list.GetFirstSubList(); one; one = list.GetNextSubList())
        if (one->GetListType() == FourCc(type))
            all.push_back(one);
    return all;
}
#pragma GCC diagnostic pop

std::string NameOf(DLS::Resource& resource, const std::string& otherwise) {
    std::string name = resource.pInfo ? Trimmed(resource.pInfo->Name) : std::string();
    return name.empty() ? otherwise : name;
}

// A body of chunk `id` of `list`, or nothing when the list has none (its size was checked).
std::optional<std::vector<std::uint8_t>> Body(RIFF::List* list, const char (&id)[5]) {
    RIFF::Chunk* chunk = list ? list->GetSubChunk(FourCc(id)) : nullptr;
    if (chunk == nullptr)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(chunk->GetSize());
    chunk->SetPos(0);
    if (chunk->Read(bytes.data(), bytes.size(), 1) != bytes.size())
        throw Broken{std::string("its ") + id + " chunk is cut short"};
    return bytes;
}

// What a wsmp chunk says: the unity note, the fine tune in cents, the gain in 1/655360 dB (DLS's
// relative gain: negative attenuates, in a GigaStudio file positive) and the first loop.
struct SamplerInfo {
    int unityNote = 60;
    int fineTuneCents = 0;
    std::int32_t gain = 0;
    struct LoopInfo {
        std::uint32_t type = 0; // 0 forward, 1 forward until release ("loop and release")
        std::uint32_t start = 0;
        std::uint32_t length = 0;
    };
    std::optional<LoopInfo> loop;
    bool moreLoops = false;
};

std::optional<SamplerInfo> ReadWsmp(RIFF::List* list) {
    const auto body = Body(list, "wsmp");
    if (!body)
        return std::nullopt; // sizes and loop count checked in the walk
    SamplerInfo info;
    info.unityNote = static_cast<int>(Le16(&(*body)[4]));
    info.fineTuneCents = static_cast<std::int16_t>(Le16(&(*body)[6]));
    info.gain = static_cast<std::int32_t>(Le32(&(*body)[8]));
    const std::uint32_t loops = Le32(&(*body)[16]);
    if (loops > 0) {
        const std::uint8_t* loop = &(*body)[Le32(&(*body)[0])];
        info.loop = SamplerInfo::LoopInfo{Le32(loop + 4), Le32(loop + 8), Le32(loop + 12)};
        info.moreLoops = loops > 1;
    }
    return info;
}

// The frames of `sample` as interleaved 16-bit words: 8-bit data (unsigned) moved up a byte,
// 24-bit data rounded by Add Samples' rounding.
std::vector<std::int16_t> ReadWords(DLS::Sample& sample, const std::string& name) {
    const std::uint64_t frames = sample.SamplesTotal;
    const unsigned bytes = sample.BitDepth / 8, channels = sample.Channels;
    std::vector<std::int16_t> words(frames * channels);
    program::Quantizer16 quantizer(false);
    constexpr std::uint64_t block = 65536;
    std::vector<std::uint8_t> buffer(block * sample.FrameSize);
    sample.SetPos(0);
    std::size_t out = 0;
    for (std::uint64_t done = 0; done < frames;) {
        const std::uint64_t count = std::min(block, frames - done);
        if (sample.Read(buffer.data(), count) != count)
            throw Broken{"wave \"" + name + "\" could not be read"};
        for (std::uint64_t i = 0; i < count * channels; ++i) {
            const std::uint8_t* value = &buffer[i * bytes];
            if (bytes == 1) {
                words[out++] = static_cast<std::int16_t>((value[0] - 128) * 256);
            } else if (bytes == 2) {
                words[out++] = static_cast<std::int16_t>(Le16(value));
            } else {
                // the three bytes at the top of 32 bits, then back down with their sign
                const std::int32_t wide = static_cast<std::int32_t>(std::uint32_t{value[0]} << 8 |
                                                                    std::uint32_t{value[1]} << 16 |
                                                                    std::uint32_t{value[2]} << 24) /
                                          256;
                words[out++] = quantizer.Next(wide / 8388608.0);
            }
        }
        done += count;
    }
    return words;
}

struct Reader {
    Collection& collection;
    std::vector<DLS::Sample*> samples; // the waves, in the order of layout.waves
    Instrument instrument;
    std::map<std::size_t, std::size_t> soundOfWave;
    std::uint64_t words = 0;

    // The wave pool index `index` leads to, as an index into `samples`.
    std::size_t WaveOf(std::uint64_t index) const {
        const Layout& layout = collection.layout;
        if (index >= layout.table.size())
            throw Broken{"a region names wave " + std::to_string(index) + " of a pool of " +
                         std::to_string(layout.table.size())};
        // the waves' offsets rise in file order: found in log time however many regions ask
        const auto found =
            std::lower_bound(layout.waves.begin(), layout.waves.end(), layout.table[index]);
        if (found == layout.waves.end() || *found != layout.table[index])
            throw Broken{"its pool table points between the waves"};
        return static_cast<std::size_t>(found - layout.waves.begin());
    }

    std::size_t SoundOf(std::size_t wave, SamplerInfo& own) {
        DLS::Sample& sample = *samples[wave];
        const std::string name = NameOf(sample, "wave " + std::to_string(wave));
        if (const auto wsmp = ReadWsmp(ResourceChunks::Of(sample)))
            own = *wsmp;
        if (const auto found = soundOfWave.find(wave); found != soundOfWave.end())
            return found->second;
        if (sample.SamplesTotal > program::maxConvertedFrames)
            throw Broken{"wave \"" + name + "\" has more frames than any sampler holds"};
        words += sample.SamplesTotal * sample.Channels;
        if (words > maxDlsWords)
            throw Broken{"the instrument's waves hold more than " +
                         std::to_string(maxDlsWords / (1024ull * 1024)) + " Mi words"};
        Sound sound;
        sound.name = name;
        sound.channels = sample.Channels;
        sound.rate = sample.SamplesPerSecond;
        sound.frames = sample.SamplesTotal;
        sound.words = ReadWords(sample, name);
        if (own.unityNote <= 127)
            sound.rootKey = own.unityNote;
        instrument.sounds.push_back(std::move(sound));
        soundOfWave[wave] = instrument.sounds.size() - 1;
        return instrument.sounds.size() - 1;
    }

    void AddZone(DLS::Region& region, bool instrumentArticulated) {
        RIFF::List* chunks = ResourceChunks::Of(region);
        Zone zone;
        zone.lowKey = region.KeyRange.low;
        zone.highKey = std::min<int>(region.KeyRange.high, 127);
        // A Level 1 region leaves its velocity range 0 to 0: every velocity plays it.
        if (region.VelocityRange.high > 0) {
            zone.lowVelocity = std::max<int>(region.VelocityRange.low, 1);
            zone.highVelocity = std::min<int>(region.VelocityRange.high, 127);
        }
        if (zone.lowKey > zone.highKey || zone.lowVelocity > zone.highVelocity) {
            instrument.notes.emplace_back(
                "a region with an empty key or velocity range was left out");
            return;
        }
        if (const auto lnk = Body(chunks, "3lnk")) {
            for (const GigLayer& layer : GigLayers(*lnk, *chunks, zone)) {
                Zone layered = zone;
                layered.lowVelocity = std::max(zone.lowVelocity, layer.lowVelocity);
                layered.highVelocity = std::min(zone.highVelocity, layer.highVelocity);
                if (layered.lowVelocity <= layered.highVelocity)
                    AddPlayed(region, std::move(layered), layer.poolIndex, layer.rightPoolIndex,
                              layer.dimension, instrumentArticulated);
            }
            return;
        }
        const auto link = Body(chunks, "wlnk");
        AddPlayed(region, std::move(zone), link ? Le32(&(*link)[8]) : 0, std::nullopt, nullptr,
                  instrumentArticulated);
    }

    // A GigaStudio region plays one of its dimension regions, chosen by velocity, controllers
    // and more. Each velocity zone becomes a layer of its own; of every other dimension (sample
    // channel, crossfade layers, release trigger, switches) the first zone is taken.
    struct GigLayer {
        std::uint64_t poolIndex = 0;                 // its wave, from the 3lnk chunk
        std::optional<std::uint64_t> rightPoolIndex; // the right channel's, kept apart
        RIFF::List* dimension = nullptr;             // its 3ewl list (wsmp and 3ewa)
        int lowVelocity = 0;
        int highVelocity = 127;
    };
    std::vector<GigLayer> GigLayers(const std::vector<std::uint8_t>& lnk, RIFF::List& chunks,
                                    Zone& zone) {
        // A 3lnk chunk: the count of dimension regions, then 5 (version 2) or 8 (version 3)
        // dimension definitions of 8 bytes (type, bits, -, -, zones), then a wave pool index for
        // each dimension region.
        const DLS::version_t* version = collection.dls->pVersion;
        const std::size_t slots = version && version->major > 2 ? 8 : 5;
        const std::size_t waves = 4 + 8 * slots;
        const std::uint64_t count = Le32(&lnk[0]);
        if (lnk.size() < waves + 4 || count > (std::uint64_t{1} << slots) ||
            lnk.size() < waves + 4 * count)
            throw Broken{"a 3lnk chunk is shorter than its wave list"};
        std::vector<RIFF::List*> programs;
        if (RIFF::List* prg = chunks.GetSubList(FourCc("3prg")))
            programs = SubLists(*prg, "3ewl");
        constexpr std::uint8_t channelDimension = 0x80, velocityDimension = 0x82;
        constexpr std::uint32_t noWave = 0xFFFFFFFF;
        std::optional<std::size_t> velocity;
        int position = 0, velocityPosition = 0, velocityZones = 1;
        std::optional<int> channelPosition; // a sample's two channels as two dimension regions
        bool others = false;
        for (std::size_t slot = 0; slot < slots; ++slot) {
            const std::uint8_t* definition = &lnk[4 + 8 * slot];
            if (definition[0] == 0)
                continue; // an unused slot
            const int bits = definition[1];
            if (bits > 8 || position + bits > 8)
                throw Broken{"a 3lnk chunk's dimensions need more than 8 bits"};
            const int zones =
                std::min(definition[4] != 0 ? int{definition[4]} : 1 << bits, 1 << bits);
            if (definition[0] == velocityDimension && !velocity) {
                velocity = slot;
                velocityPosition = position;
                velocityZones = zones;
            } else if (definition[0] == channelDimension && zones == 2 && !channelPosition) {
                channelPosition = position;
            } else if (zones > 1) {
                others = true;
            }
            position += bits;
        }
        if (others)
            zone.notCarried.emplace_back("dimension regions past the first of each velocity "
                                         "layer (crossfades, switches, release triggers)");
        // A dimension region's 3ewa chunk holds its velocity zone's upper limit: at byte 140 on
        // in version 3 (one a dimension), else at byte 124. With neither, the zones split the
        // velocities evenly.
        auto limit = [&](std::size_t index, bool perDimension) -> int {
            const auto ewa = index < programs.size() ? Body(programs[index], "3ewa") : std::nullopt;
            const std::size_t at = perDimension ? 140 + *velocity : 124;
            return ewa && ewa->size() > at && (!perDimension || ewa->size() >= 148) ? (*ewa)[at]
                                                                                    : 0;
        };
        const bool perDimension = velocity && limit(0, true) != 0;
        const bool upperLimits = perDimension || (velocity && limit(0, false) != 0);
        std::vector<GigLayer> layers;
        int low = 0;
        for (int z = 0; z < velocityZones; ++z) {
            const std::size_t index = static_cast<std::size_t>(z) << velocityPosition;
            if (index >= count)
                break; // the region holds fewer dimension regions than its zones name
            GigLayer layer;
            layer.poolIndex = Le32(&lnk[waves + 4 * index]);
            if (channelPosition) {
                const std::size_t right = index | std::size_t{1} << *channelPosition;
                if (right < count && Le32(&lnk[waves + 4 * right]) != noWave)
                    layer.rightPoolIndex = Le32(&lnk[waves + 4 * right]);
            }
            layer.dimension = index < programs.size() ? programs[index] : nullptr;
            layer.lowVelocity = low;
            const int size = 128 / velocityZones;
            layer.highVelocity = upperLimits ? std::min(limit(index, perDimension), 127)
                                 : z == velocityZones - 1 ? 127
                                                          : (z + 1) * size - 1;
            if (layer.highVelocity >= low && layer.poolIndex != noWave)
                layers.push_back(layer); // a dimension region without a wave plays nothing
            low = std::max(low, layer.highVelocity + 1);
        }
        return layers;
    }

    // The zone that plays wave pool entry `poolIndex` with the wsmp of `dimension`, the region's
    // or the wave's, whichever comes first.
    // The wave pool entry `poolIndex` leads to, as an index into `samples`, or nothing (with a
    // note) when its wave is one Velomire does not read.
    std::optional<std::size_t> PlayableWave(std::uint64_t poolIndex) {
        const Layout& layout = collection.layout;
        if (poolIndex < layout.table.size() && layout.table[poolIndex] >> 32 != 0) {
            // a GigaStudio file's number beside the wave's offset: another file's wave
            instrument.notes.emplace_back(
                "a region's wave lies in an extension file (.gx01 and on), "
                "which is not read; the region was left out");
            return std::nullopt;
        }
        const std::size_t wave = WaveOf(poolIndex);
        if (wave >= samples.size())
            throw Broken{"its wave pool could not be read"};
        DLS::Sample& sample = *samples[wave];
        const std::string name = NameOf(sample, "wave " + std::to_string(wave));
        if (ResourceChunks::Of(sample)->GetSubChunk(FourCc("ewav"))) {
            instrument.notes.push_back("wave \"" + name +
                                       "\" is compressed as GigaStudio compresses; its region was "
                                       "left out");
            return std::nullopt;
        }
        if (sample.FormatTag != DLS_WAVE_FORMAT_PCM || sample.Channels < 1 || sample.Channels > 2 ||
            (sample.BitDepth != 8 && sample.BitDepth != 16 && sample.BitDepth != 24)) {
            instrument.notes.push_back("wave \"" + name +
                                       "\" is not 8, 16 or 24-bit PCM in one or two channels; its "
                                       "region was left out");
            return std::nullopt;
        }
        if (sample.SamplesPerSecond == 0 || sample.SamplesTotal == 0) {
            instrument.notes.push_back(
                "wave \"" + name + "\" has no frames or a rate of 0 Hz; its region was left out");
            return std::nullopt;
        }
        return wave;
    }

    // The zone that plays wave pool entry `poolIndex` (with `rightPoolIndex`, a GigaStudio
    // sample's right channel kept apart) with the wsmp of `dimension`, the region's or the
    // wave's, whichever comes first.
    void AddPlayed(DLS::Region& region, Zone zone, std::uint64_t poolIndex,
                   std::optional<std::uint64_t> rightPoolIndex, RIFF::List* dimension,
                   bool instrumentArticulated) {
        RIFF::List* chunks = ResourceChunks::Of(region);
        const auto wave = PlayableWave(poolIndex);
        if (!wave)
            return;
        std::optional<std::size_t> rightWave;
        if (rightPoolIndex) {
            rightWave = PlayableWave(*rightPoolIndex);
            if (!rightWave)
                return;
        }
        DLS::Sample& sample = *samples[*wave];
        SamplerInfo sampler;
        zone.sound = SoundOf(*wave, sampler);
        if (rightWave) {
            SamplerInfo right; // the left channel's settings hold for both
            zone.rightSound = SoundOf(*rightWave, right);
        }
        if (const auto own = ReadWsmp(dimension))
            sampler = *own; // a dimension region's own settings replace the others
        else if (const auto regionOwn = ReadWsmp(chunks))
            sampler = *regionOwn; // the region's own settings replace the wave's
        if (sampler.unityNote <= 127)
            zone.rootKey = sampler.unityNote;
        else
            zone.notCarried.emplace_back("unity note beyond 127");
        zone.tuneCents = sampler.fineTuneCents;
        // A GigaStudio file counts its gain the other way (as libgig's player of these files
        // counts it): a positive value attenuates.
        zone.volumeDb = (collection.layout.gig ? -sampler.gain : sampler.gain) / 655360.0;
        if (sampler.loop) {
            const std::uint64_t frames = sample.SamplesTotal;
            const std::uint64_t start = sampler.loop->start, length = sampler.loop->length;
            if (length == 0 || start + length > frames) {
                zone.notCarried.emplace_back("a loop outside its wave (played without the loop)");
            } else {
                zone.loops.push_back({static_cast<std::uint32_t>(start),
                                      static_cast<std::uint32_t>(start + length - 1)});
                zone.loopMode = sampler.loop->type == 1 ? LoopMode::sustain : LoopMode::forward;
                if (sampler.loop->type > 1)
                    zone.notCarried.push_back("loop type " + std::to_string(sampler.loop->type) +
                                              " (looped forward)");
            }
            if (sampler.moreLoops)
                zone.notCarried.emplace_back("loops past the first");
        }
        if (instrumentArticulated || chunks->GetSubList(FourCc("lart")) ||
            chunks->GetSubList(FourCc("lar2")))
            zone.notCarried.emplace_back("articulators (envelopes, LFOs, pan, filter)");
        if (region.KeyGroup != 0)
            zone.notCarried.emplace_back("key group (exclusive class)");
        instrument.zones.push_back(std::move(zone));
    }
};

std::optional<std::vector<InstrumentEntry>> List(const std::filesystem::path& file,
                                                 std::string& error) {
    return Guarded<std::vector<InstrumentEntry>>(
        file, "DLS or GigaStudio file", error,
        [&]() -> std::optional<std::vector<InstrumentEntry>> {
            const auto opened = Open(file);
            std::vector<InstrumentEntry> entries;
            int number = 0;
            for (DLS::Instrument* one : Instruments(*opened->dls)) {
                entries.push_back({NameOf(*one, "Instrument " + std::to_string(number)), number,
                                   "bank " + std::to_string(one->MIDIBank) + " program " +
                                       std::to_string(one->MIDIProgram) +
                                       (one->IsDrum ? " (drums)" : "")});
                ++number;
            }
            return entries;
        });
}

std::optional<Instrument> Read(const std::filesystem::path& file, int index, std::string& error) {
    return Guarded<Instrument>(
        file, "DLS or GigaStudio file", error, [&]() -> std::optional<Instrument> {
            const auto opened = Open(file);
            const auto instruments = Instruments(*opened->dls);
            if (index < 0 || static_cast<std::size_t>(index) >= instruments.size()) {
                error = file.string() + ": has no instrument " + std::to_string(index);
                return std::nullopt;
            }
            Reader reader{*opened, {}, {}, {}, 0};
            reader.samples = Samples(*opened->dls);
            if (reader.samples.size() != opened->layout.waves.size())
                throw Broken{"its wave pool could not be read"};
            DLS::Instrument& chosen = *instruments[static_cast<std::size_t>(index)];
            reader.instrument.name = NameOf(chosen, "Instrument " + std::to_string(index));
            RIFF::List* chunks = ResourceChunks::Of(chosen);
            const bool articulated =
                chunks->GetSubList(FourCc("lart")) || chunks->GetSubList(FourCc("lar2"));
            for (DLS::Region* region : Regions(chosen))
                reader.AddZone(*region, articulated);
            return std::move(reader.instrument);
        });
}

} // namespace dls
} // namespace

std::optional<std::vector<InstrumentEntry>> ListDlsInstruments(const std::filesystem::path& file,
                                                               std::string& error) {
    return dls::List(file, error);
}

std::optional<Instrument> ReadDlsInstrument(const std::filesystem::path& file, int index,
                                            std::string& error) {
    return dls::Read(file, index, error);
}

} // namespace velomire::instrument
