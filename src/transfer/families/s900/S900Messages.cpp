#include "transfer/families/s900/S900Messages.h"

#include "program/WavInfo.h"
#include "transfer/families/s900/S900Blocks.h"
#include "transfer/families/s900/S900Wire.h"

#include <cstdint>
#include <vector>

namespace velomire::transfer {

namespace {

using s900::waitAfterDataMs;
using s900::waitAfterHeaderPieceMs;
using s900::wordsPerPiece;

// A whole message into the port's buffer.
void Append(MidiOutPort& port, const std::vector<std::uint8_t>& message) {
    for (const std::uint8_t byte : message) {
        port.AppendBytes(byte);
    }
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
    Append(context.port,
           s900::SampleHeaderMessage(found->sample, part, context.settings.midiChannel));
    context.port.Send();
}

void S900Messages::SendS900Program() {
    Append(context.port, s900::ProgramMessage(context.program, context.settings.midiChannel));
    context.port.Send();
}

} // namespace velomire::transfer
