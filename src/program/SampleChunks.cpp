#include "program/SampleChunks.h"

#include "program/ByteReader.h"
#include "program/ByteWriter.h"
#include "program/Program.h"

#include <algorithm>

namespace velomire::program {
namespace {

constexpr auto lowestKey = static_cast<std::uint32_t>(Program::lowestKey);
constexpr auto highestKey = static_cast<std::uint32_t>(Program::highestKey);
constexpr std::size_t editedLoops = 4;

} // namespace

void ParseSmplChunk(std::span<const std::uint8_t> body, SampleChunks& chunks) {
    if (body.size() < smplHeadBytes) {
        return;
    }
    ByteReader head{body.first(smplHeadBytes)};
    head.Skip(12); // manufacturer, product, sample period
    chunks.unityNote = head.U32();
    head.Skip(12); // pitch fraction, SMPTE format and offset
    const std::uint32_t loopCount = head.U32();
    // The sampler-specific data that follows the loops is of no use here.

    ByteReader loops{body.subspan(smplHeadBytes)};
    chunks.loops.clear();
    for (std::uint32_t i = 0; i < loopCount && loops.Remaining() >= smplLoopBytes; ++i) {
        SampleChunks::Loop loop;
        loops.Skip(4); // cue point id
        loop.type = loops.U32();
        loop.start = loops.U32();
        loop.end = loops.U32();
        loops.Skip(8); // fraction, play count
        chunks.loops.push_back(loop);
    }
}

std::vector<std::uint8_t> SmplChunkBody(const SampleChunks& chunks, std::uint32_t rate) {
    std::vector<std::uint8_t> body;
    ByteWriter out(body);
    out.U32(0);                                                                   // manufacturer
    out.U32(0);                                                                   // product
    out.U32(rate == 0 ? 0 : static_cast<std::uint32_t>(1'000'000'000ull / rate)); // period, ns
    out.U32(chunks.unityNote.value_or(60));
    out.U32(0); // pitch fraction
    out.U32(0); // SMPTE format
    out.U32(0); // SMPTE offset
    out.U32(static_cast<std::uint32_t>(chunks.loops.size()));
    out.U32(0); // sampler-specific data
    for (std::size_t i = 0; i < chunks.loops.size(); ++i) {
        const SampleChunks::Loop& loop = chunks.loops[i];
        out.U32(static_cast<std::uint32_t>(i)); // cue point id
        out.U32(loop.type);
        out.U32(loop.start);
        out.U32(loop.end);
        out.U32(0); // fraction
        out.U32(0); // play count: for ever
    }
    return body;
}

std::vector<std::uint8_t> InstChunkBody(const SampleChunks& chunks) {
    // Unshifted note, fine tune, gain, low and high note, low and high velocity.
    return {static_cast<std::uint8_t>(chunks.unityNote.value_or(60)),
            0,
            0,
            chunks.lowKey.value_or(0),
            chunks.highKey.value_or(127),
            1,
            127};
}

void ParseInstChunk(std::span<const std::uint8_t> body, SampleChunks& chunks) {
    if (body.size() < instBytes) {
        return;
    }
    chunks.lowKey = body[3];
    chunks.highKey = body[4];
}

void ApplySampleChunks(const SampleChunks& chunks, SampleEntry& entry) {
    SampleBlock& s = entry.sample;
    if (chunks.unityNote && *chunks.unityNote >= lowestKey && *chunks.unityNote <= highestKey) {
        s.rootKey = static_cast<std::int16_t>(*chunks.unityNote);
    }

    // Loops are stored relative to soundStart, as the Loop Editor leaves them: the last word and
    // the length, so a loop from word S to word E is at E - soundStart, length E - S + 1.
    std::size_t taken = 0;
    for (const SampleChunks::Loop& loop : chunks.loops) {
        if (taken == editedLoops) {
            break;
        }
        if (loop.start > loop.end || loop.start < s.soundStart || loop.end > s.soundEnd ||
            s.frameCount == 0) {
            continue;
        }
        s.SetLoop(taken, {loop.end - s.soundStart, loop.end - loop.start + 1,
                          loop.dwell.value_or(s.Loop(taken).dwell)});
        ++taken;
    }
    if (taken > 0) {
        s.loopCount = static_cast<std::int16_t>(taken);
        s.loopMode = chunks.loopMode.value_or(loopNormal);
    }

    if (chunks.lowKey && chunks.highKey) {
        const std::uint32_t low = std::max<std::uint32_t>(*chunks.lowKey, lowestKey);
        const std::uint32_t high = std::min<std::uint32_t>(*chunks.highKey, highestKey);
        if (low <= high) {
            entry.keygroup.lowKey = static_cast<std::int16_t>(low);
            entry.keygroup.highKey = static_cast<std::int16_t>(high);
        }
    }
}

} // namespace velomire::program
