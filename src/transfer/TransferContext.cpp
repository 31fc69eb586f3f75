#include "transfer/TransferContext.h"

#include <algorithm>

namespace velomire::transfer {

program::SampleEntry* TransferContext::FindEntry(int entry, int part) const {
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);
    if (entry < 0 || entry >= count || part < 0 || part > 2) {
        return nullptr;
    }
    return &program.samples[static_cast<std::size_t>(entry)];
}

PartProgress::PartProgress(TransferContext& context, std::uint32_t packetCount,
                           std::uint32_t wordsPerPacket)
    : context(context), packetCount(std::max<std::uint32_t>(packetCount, 1)),
      wordsPerPacket(wordsPerPacket) {
    if (context.progress != nullptr) {
        context.progress->SetSampleBar(0);
    }
}

void PartProgress::PacketSent(std::uint32_t k) {
    program::Program& program = context.program;
    // The last packet counts its full capacity even when partly filled, so the words sent may
    // end a little above transferWords.
    program.transferWordsSent += wordsPerPacket;

    // 64-bit so that k * 100 cannot overflow for the longest parts (up to 2^32 words).
    const auto percent = static_cast<int>(std::uint64_t{k} * 100 / packetCount);
    if (percent < lastShown + 2) {
        return;
    }
    lastShown = percent;
    if (context.progress == nullptr) {
        return;
    }
    context.progress->SetSampleBar(percent);
    std::uint64_t programPercent = 0;
    if (program.transferWords != 0) {
        programPercent = std::uint64_t{program.transferWordsSent} * 100 / program.transferWords;
    }
    // The bar's range ends at 100; a last, partly filled packet can push the count past it.
    context.progress->SetProgramBar(static_cast<int>(std::min<std::uint64_t>(programPercent, 100)));
}

} // namespace velomire::transfer
