#include "transfer/families/s1000/S1000Messages.h"

#include "transfer/HandshakeSend.h"
#include "transfer/SamplerModel.h"
#include "transfer/families/s1000/S1000Wire.h"
#include "transfer/families/sds/SdsWire.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace velomire::transfer {

namespace {

using s1000::waitAfterKeygroupMs;
using s1000::waitAfterProgramHeaderMs;
using s1000::waitAfterSampleHeaderMs;

// The S1000/S1100 takes 150-byte blocks; the later models 192, the last 42 of them zero but for
// a keygroup's mute group.
constexpr int extraBlockBytes = static_cast<int>(s1000::longBlock - s1000::shortBlock);

// The model's blocks are the S1000's short ones (the model table says).
bool ShortBlocks(const SamplerSettings& settings) {
    const auto info = SamplerModel::Find(settings.samplerModel);
    return info && info->blockBytes == static_cast<std::int32_t>(s1000::shortBlock);
}

// Keygroup byte 160 on the later models: the mute group, 0-31, or FF for none. A zero there
// would put every keygroup in group 0, each new note cutting off the others.
constexpr int muteGroupByte = 160;
constexpr std::int32_t noMuteGroup = 0xFF;
// Program byte 73 on the later models: the pitch-bend down range, 2 in every program the
// sampler saves itself (0 makes bending down do nothing).
constexpr std::int32_t bendDownRange = 2;

// The name of a velocity zone that plays no sample.
constexpr std::string_view emptyZoneName = "xxxxxxxxxxxx";

// Block bytes as nibbles, low nibble first: one byte is 2 wire bytes, 16 bits 4, 32 bits 8.
void U8(MidiOutPort& port, std::int32_t value) {
    port.AppendNibbles(value, 2);
}
void U16(MidiOutPort& port, std::int32_t value) {
    port.AppendNibbles(value, 4);
}
void U32(MidiOutPort& port, std::int32_t value) {
    port.AppendNibbles(value, 8);
}
void Zeros(MidiOutPort& port, int blockBytes) {
    port.AppendNibbles(0, static_cast<std::int16_t>(2 * blockBytes));
}

// F0 47, the exclusive channel, the function and the model byte.
void AppendStart(MidiOutPort& port, const SamplerSettings& settings, std::int16_t function) {
    port.AppendBytes(0xF0, s1000::akaiId,
                     static_cast<std::int16_t>(settings.exclusiveChannel & 0xFF), function);
    port.AppendBytes(s1000::modelByte);
}

// Closes a block: the 42 bytes of the later models, zero but for a keygroup's mute group, then F7.
void AppendEnd(MidiOutPort& port, const SamplerSettings& settings, bool keygroup = false) {
    if (!ShortBlocks(settings)) {
        constexpr int before = muteGroupByte - static_cast<int>(s1000::shortBlock);
        Zeros(port, before);
        U8(port, keygroup ? noMuteGroup : 0);
        Zeros(port, extraBlockBytes - before - 1);
    }
    port.AppendBytes(0xF7);
}

int SinglePart(std::int16_t sendMode) {
    return sendMode == program::sendLeft || sendMode == program::sendRight ? sendMode : 0;
}

// One velocity zone of a keygroup block, 24 bytes.
void AppendZone(MidiOutPort& port, const program::KeygroupBlock& keygroup, std::string_view name,
                int part, std::int32_t pan) {
    port.AppendAkaiName(name, part);
    U8(port, keygroup.velocityLow);
    U8(port, keygroup.velocityHigh);
    U16(port, keygroup.velocityTune);
    U8(port, keygroup.velocityWords[0]);
    U8(port, keygroup.velocityWords[1]);
    U8(port, pan);
    U8(port, keygroup.velocityWords[3]);
    Zeros(port, 2);
    U16(port, 0);
}

} // namespace

void S1000Messages::SendS1000SampleHeader(int entry, int part) {
    const program::SampleEntry* found = context.FindEntry(entry, part);
    if (found == nullptr) {
        return;
    }
    const program::SampleBlock& sample = found->sample;
    const SamplerSettings& settings = context.settings;
    MidiOutPort& port = context.port;

    AppendStart(port, settings, s1000::sampleHeaderFunction);
    port.AppendSevenBit(sample.samplerSampleNumber[static_cast<std::size_t>(part)], 2);
    U8(port, 3); // block identifier
    U8(port, sample.bandwidth);
    U8(port, sample.rootKey);
    port.AppendAkaiName(program::FieldText(sample.sampleName), part);
    U8(port, sample.headerValid);
    U8(port, sample.loopCount);
    Zeros(port, 2);
    U8(port, sample.loopMode);
    U16(port, sample.tuneOffset);
    U32(port, static_cast<std::int32_t>(sample.waveAddress));
    U32(port, static_cast<std::int32_t>(sample.lengthWords));
    U32(port, static_cast<std::int32_t>(sample.startPoint));
    // The end point is the index of the last word sent; programs saved by earlier versions hold
    // one or two words more, which would point the sampler past its data.
    const std::uint32_t lastWord = sample.lengthWords == 0 ? 0 : sample.lengthWords - 1;
    U32(port, static_cast<std::int32_t>(std::min(sample.endPoint, lastWord)));
    // Loops 0 to 3; the sampler counts a loop's length 64 words short of the stored one. A loop
    // shorter than 64 words goes as 0, never as a length wrapped round to four thousand million.
    for (std::size_t loop = 0; loop < 4; ++loop) {
        const std::uint32_t length = sample.loopLength[loop];
        U32(port, static_cast<std::int32_t>(sample.loopAt[loop]));
        U16(port, 0);
        U32(port, static_cast<std::int32_t>(length < 64 ? 0 : length - 64));
        U16(port, static_cast<std::int32_t>(sample.loopDwell[loop]));
    }
    // Loops 4 to 7 are never taken from the entry.
    for (int loop = 4; loop < 8; ++loop) {
        if (ShortBlocks(settings)) {
            U32(port, 64);
            U16(port, 0);
            U32(port, 0);
            U16(port, 0);
        } else {
            Zeros(port, 12);
        }
    }
    Zeros(port, 2);
    U16(port, 0xFFFF);
    U16(port, static_cast<std::int32_t>(sample.headerRate));
    U8(port, sample.headerSpare);
    Zeros(port, 9);
    AppendEnd(port, settings);
    if (context.closedLoop == nullptr) {
        port.Send();
        port.WaitMilliseconds(waitAfterSampleHeaderMs);
        return;
    }
    // The header makes the sampler act as after a Dump Header (it may first ask to wait while it
    // deletes a sample of the same name); the fixed wait becomes the longest wait for its answer,
    // which may come on the exclusive channel or on the MIDI channel its packets use.
    const int exclusive = settings.exclusiveChannel & 0x7F;
    const int midi = settings.midiChannel & 0x7F;
    port.SetCancelMessage(SdsHandshake(SamplerReply::Kind::cancel, midi, 0));
    int resends = 0;
    const ClosedLoop::Answer answer = SendWithHandshake(
        context,
        [&] {
            return context.closedLoop->AwaitHeader(
                std::chrono::milliseconds(waitAfterSampleHeaderMs), {exclusive, midi});
        },
        resends);
    port.EndIfCancelled();
    port.SetCancelMessage({});
    TakeHeaderAnswer(context, answer, sample, part);
}

void S1000Messages::SendS1000Program() {
    program::Program& program = context.program;
    const program::ProgramHeader& header = program.header;
    const SamplerSettings& settings = context.settings;
    MidiOutPort& port = context.port;
    const auto& params = header.programParams;
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);

    AppendStart(port, settings, s1000::programHeaderFunction);
    port.AppendSevenBit(header.programNumber, 2);
    U8(port, 1); // block identifier
    Zeros(port, 2);
    port.AppendAkaiName(program.ProgramName(), 0);
    U8(port, params[0]);
    for (std::size_t word = 1; word <= 6; ++word) {
        U8(port, params[word]);
    }
    Zeros(port, 1); // word 7 is not sent
    for (std::size_t word = 8; word <= 26; ++word) {
        U8(port, params[word]);
    }
    U8(port, params[program::ProgramHeader::keygroupCountParam]);
    Zeros(port, 13);
    for (std::size_t word = 28; word <= 36; ++word) {
        U8(port, params[word]);
    }
    U16(port, params[37]);
    for (std::size_t word = 38; word <= 42; ++word) {
        U8(port, params[word]);
    }
    Zeros(port, 1);
    U8(port, ShortBlocks(settings) ? 0 : bendDownRange); // byte 73
    Zeros(port, 76);
    AppendEnd(port, settings);
    port.Send();
    port.WaitMilliseconds(waitAfterProgramHeaderMs);
    if (Refused("program#" + std::to_string(header.programNumber))) {
        return;
    }

    // One keygroup per entry; a stereo entry holds its two parts in velocity zones 1 and 2,
    // panned left and right. The zone names are what ties a keygroup to its samples.
    for (int i = 0; i < count; ++i) {
        const program::SampleEntry& entry = program.samples[static_cast<std::size_t>(i)];
        const program::KeygroupBlock& keygroup = entry.keygroup;
        const std::string name = program::FieldText(entry.sample.sampleName);
        const bool stereo = entry.sample.sendMode == program::sendStereo;

        AppendStart(port, settings, s1000::keygroupFunction);
        port.AppendSevenBit(header.programNumber, 2);
        port.AppendBytes(static_cast<std::int16_t>(i));
        U8(port, 2); // block identifier
        Zeros(port, 2);
        U8(port, keygroup.lowKey);
        U8(port, keygroup.highKey);
        U16(port, keygroup.keygroupTune);
        for (std::int16_t word : keygroup.keygroupWords) {
            U8(port, word);
        }
        Zeros(port, 3);
        for (int zone = 0; zone < 4; ++zone) {
            const std::int32_t pan = stereo ? 100 * zone - 50 : keygroup.velocityWords[2];
            if (stereo && zone < 2) {
                AppendZone(port, keygroup, name, zone + 1, pan);
            } else if (!stereo && zone == 0) {
                AppendZone(port, keygroup, name, SinglePart(entry.sample.sendMode), pan);
            } else {
                AppendZone(port, keygroup, emptyZoneName, 0, pan);
            }
        }
        Zeros(port, 6);
        U8(port, keygroup.output);
        U8(port, keygroup.output + 1 > 7 ? 0 : keygroup.output + 1);
        Zeros(port, 2);
        Zeros(port, 10);
        AppendEnd(port, settings, true);
        port.Send();
        port.WaitMilliseconds(waitAfterKeygroupMs);
        if (Refused("keygroup " + std::to_string(i) + " of program#" +
                    std::to_string(header.programNumber))) {
            return;
        }
    }
}

bool S1000Messages::Refused(const std::string& what) {
    // Closed-loop, the answers that came during the wait are read: a refusal stops the send.
    if (context.closedLoop == nullptr) {
        return false;
    }
    const ClosedLoop::Answer answer = context.closedLoop->Drain();
    if (answer == ClosedLoop::Answer::cancel) {
        context.stopReason = "The sampler cancelled the transfer.";
    } else if (answer == ClosedLoop::Answer::refused) {
        context.stopReason = "The sampler refused " + what + ".";
    }
    return context.Stopped();
}

} // namespace velomire::transfer
