#include "transfer/families/s900/S900Messages.h"

#include "program/WavInfo.h"
#include "transfer/families/s900/S900Wire.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace velomire::transfer {

namespace {

using s900::waitAfterDataMs;
using s900::waitAfterHeaderPieceMs;
using s900::wordsPerPiece;
// Written into every keygroup as the name of its creator.
constexpr std::string_view keygroupMarker = "Velomire98";

// The low 8 bits of a value sent as one raw byte (channel, sample or program number).
std::int16_t RawByte(std::int32_t value) {
    return static_cast<std::int16_t>(value & 0xFF);
}

// The part an entry that is not stereo sends: its send mode, or the mono mix for a mode that
// names no part.
int SinglePart(std::int16_t sendMode) {
    return sendMode == program::sendLeft || sendMode == program::sendRight ? sendMode : 0;
}

// The points of a part's sample header, counted from soundStart (see s900::SamplePoints). The
// sampler loops back from the end point, so a looping sample ends at its loop's last word (loop
// 0 at) and one that does not loop at its end point; neither ever lies past the last word sent,
// also in a program saved before the sound was trimmed. The loop length goes as stored, cut only
// where it would reach before the first word. The right channel of a stereo entry starts playing
// at the S900's channel offset (27 words at 44100 Hz), where that offset has always been sent.
s900::SamplePoints PointsOf(const program::SampleBlock& sample, int part, bool looping) {
    const std::uint32_t lastWord = sample.lengthWords == 0 ? 0 : sample.lengthWords - 1;
    s900::SamplePoints points;
    points.endPoint = std::min(looping ? sample.loopAt[0] : sample.endPoint, lastWord);
    points.loopLength = std::min(sample.loopLength[0], points.endPoint + 1);
    if (sample.sendMode == program::sendStereo && part == 2) {
        points.firstReplayPoint = std::min(sample.s900RightLoopShift, points.endPoint);
    }
    return points;
}

// One header byte (8 bits) as its two wire bytes.
void Byte(MidiOutPort& port, std::int32_t value) {
    port.AppendSplitBytes(value, 2);
}

void Zeros(MidiOutPort& port, int headerBytes) {
    port.AppendSplitBytes(0, static_cast<std::int16_t>(2 * headerBytes));
}

// One keygroup of the program message, 70 header bytes.
void AppendKeygroup(MidiOutPort& port, const program::ProgramHeader& header,
                    const program::SampleEntry& entry, int part, std::int32_t output) {
    const program::KeygroupBlock& keygroup = entry.keygroup;
    Byte(port, keygroup.highKey);
    Byte(port, keygroup.lowKey);
    Byte(port, 128);
    for (std::size_t word = 5; word <= 8; ++word) {
        Byte(port, keygroup.keygroupWords[word]);
    }
    Byte(port, 10);
    Byte(port, 50);
    Zeros(port, 2);
    Byte(port, 30);
    Zeros(port, 2);
    Byte(port, 99);
    Byte(port, header.programParams[20]);
    Byte(port, header.programParams[18]);
    Byte(port, header.programParams[19]);
    Byte(port, 4);
    Byte(port, output);
    Zeros(port, 2);
    Byte(port, 50);
    Zeros(port, 1);
    port.AppendS900Name(program::FieldText(entry.sample.sampleName), part);
    for (std::size_t word = 13; word <= 16; ++word) {
        Byte(port, keygroup.keygroupWords[word]);
    }
    Byte(port, 64);
    Zeros(port, 5);
    Byte(port, 99);
    Zeros(port, 1);
    port.AppendS900Name(keygroupMarker, 0);
    Zeros(port, 10);
    Byte(port, 99);
    Zeros(port, 3);
}

} // namespace

bool S900Messages::SendS900SampleData(int entry, int part) {
    program::SampleEntry* found = context.FindEntry(entry, part);
    if (found == nullptr) {
        return false;
    }
    program::SampleBlock& sample = found->sample;
    program::WavInfo wav(context.messages);
    const std::string fileName = program::FieldText(sample.fileName);
    if (!wav.Open(context.program.SampleFilePath(fileName), fileName)) {
        return false; // the reader has shown why
    }
    MidiOutPort& port = context.port;

    // The opening of the one long message: no channel byte and no closing F7 here.
    port.AppendBytes(0xF0, 0x7E, 0x01);
    port.AppendSevenBit(sample.samplerSampleNumber[static_cast<std::size_t>(part)], 2);
    port.AppendBytes(0x0C); // 12 bits per sample word
    port.AppendSevenBit(static_cast<std::int32_t>(sample.samplePeriodNs), 3);
    port.AppendSevenBit(static_cast<std::int32_t>(sample.lengthWords), 3);
    port.AppendBytes(0x00, 0x00, 0x00, 0x00);
    port.AppendBytes(0x00, 0x00, 0x00);
    port.Send();
    port.WaitMilliseconds(waitAfterHeaderPieceMs);

    wav.Seek(sample.soundStart);
    // Signed, so that a length of 0 still gives one piece: (0 - 1) / 60 truncates to 0.
    const auto pieceCount = static_cast<std::uint32_t>(
        (static_cast<std::int64_t>(sample.lengthWords) - 1) / wordsPerPiece + 1);
    PartProgress progress(context, pieceCount, wordsPerPiece);

    std::uint64_t word = 0; // words of the part appended so far, filler included
    for (std::uint32_t k = 1; k <= pieceCount; ++k) {
        port.AppendBytes(static_cast<std::int16_t>((k - 1) & 0x7F));
        port.MarkChecksumStart(); // the piece number is not part of the checksum
        for (std::uint32_t i = 0; i < wordsPerPiece; ++i) {
            ++word;
            if (word <= sample.lengthWords) {
                port.AppendSample12(static_cast<std::uint16_t>(wav.ReadFrame(part) + 0x8000));
            } else {
                port.AppendSample12(0); // filler after the length, not silence
            }
        }
        port.AppendChecksum();
        if (k == pieceCount) {
            port.AppendBytes(0xF7);
        }
        if (!port.Send()) {
            return false; // the transfer has ended; the caller reports it
        }
        progress.PacketSent(k);
        // The sampler's block answers are only counted: it buffers more than one block, so the
        // data cannot wait for them. Its CANCEL stops the data.
        if (context.closedLoop != nullptr &&
            context.closedLoop->Drain() == ClosedLoop::Answer::cancel) {
            context.stopReason = "The sampler cancelled the transfer.";
            return true;
        }
    }

    wav.Close();
    sample.dataSent = 1;
    port.WaitMilliseconds(waitAfterDataMs);
    return true;
}

void S900Messages::SendS900SampleHeader(int entry, int part) {
    const program::SampleEntry* found = context.FindEntry(entry, part);
    // A sampler that cancelled the data gets no header for it.
    if (found == nullptr || context.Stopped()) {
        return;
    }
    const program::SampleBlock& sample = found->sample;
    MidiOutPort& port = context.port;
    const bool looping =
        sample.loopMode == program::loopNormal || sample.loopMode == program::loopUntilRelease;
    const s900::SamplePoints points = PointsOf(sample, part, looping);

    port.AppendBytes(0xF0, s900::akaiId, RawByte(context.settings.midiChannel),
                     s900::sampleHeaderFunction);
    port.AppendBytes(s900::modelByte,
                     RawByte(sample.samplerSampleNumber[static_cast<std::size_t>(part)]), 0x00);
    port.MarkChecksumStart();
    port.AppendS900Name(program::FieldText(sample.sampleName), part);
    Zeros(port, 6);
    port.AppendSplitBytes(static_cast<std::int32_t>(sample.lengthWords), 8);
    port.AppendSplitBytes(static_cast<std::int32_t>(sample.headerRate), 4);
    port.AppendSplitBytes(sample.rootKey * 16, 4);
    Zeros(port, 2);
    Byte(port, looping ? 'L' : 'O');
    Zeros(port, 1);
    port.AppendSplitBytes(static_cast<std::int32_t>(points.endPoint), 8);
    port.AppendSplitBytes(static_cast<std::int32_t>(points.firstReplayPoint), 8);
    port.AppendSplitBytes(static_cast<std::int32_t>(points.loopLength), 8);
    Zeros(port, 3);
    Byte(port, 'N');
    Zeros(port, 16);
    port.AppendChecksum();
    port.AppendBytes(0xF7);
    port.Send();
}

void S900Messages::SendS900Program() {
    program::Program& program = context.program;
    const program::ProgramHeader& header = program.header;
    MidiOutPort& port = context.port;

    port.AppendBytes(0xF0, s900::akaiId, RawByte(context.settings.midiChannel),
                     s900::programFunction);
    port.AppendBytes(s900::modelByte, RawByte(header.programNumber), 0x00);
    port.MarkChecksumStart();

    // Program header, 38 header bytes.
    port.AppendS900Name(program.ProgramName(), 0);
    Zeros(port, 12);
    Byte(port, 255);
    Byte(port, static_cast<std::int32_t>(program.transferSampleCount));
    Zeros(port, 2);
    Byte(port, header.programParams[0]);
    Byte(port, 255);
    Zeros(port, 10);

    // One keygroup per sample part: a stereo entry plays its parts on outputs 8 and 9, any
    // other on all voices (the entry's output is not sent).
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);
    for (int i = 0; i < count; ++i) {
        const program::SampleEntry& entry = program.samples[static_cast<std::size_t>(i)];
        if (entry.sample.sendMode == program::sendStereo) {
            AppendKeygroup(port, header, entry, 1, s900::stereoLeftOutput);
            AppendKeygroup(port, header, entry, 2, s900::stereoRightOutput);
        } else {
            AppendKeygroup(port, header, entry, SinglePart(entry.sample.sendMode), s900::allVoices);
        }
    }

    port.AppendChecksum();
    port.AppendBytes(0xF7);
    port.Send();
}

} // namespace velomire::transfer
