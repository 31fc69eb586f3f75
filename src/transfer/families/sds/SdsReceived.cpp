#include "transfer/families/sds/SdsReceived.h"

#include "program/StereoNames.h"

#include "transfer/ReceivedFiles.h"
#include "transfer/families/SdsWire.h"

#include <utility>

namespace velomire::transfer {

namespace {

constexpr std::uint32_t defaultRootKey = 60;

} // namespace

program::SampleChunks SdsReceivedChunks(const DecodedSample& sample) {
    program::SampleChunks chunks;
    chunks.unityNote = defaultRootKey;
    const auto start = FieldNumber(sample.fields, "loopStart");
    const auto end = FieldNumber(sample.fields, "loopEnd");
    const auto type = FieldNumber(sample.fields, "loopType");
    // Loop type 7F is "loop off"; a forward loop ending at word 0 is how some senders (Velomire
    // among them, before) mark a sample without a loop. A loop past the words is left out.
    if (start && end && type && *type != sds::loopOff && *end > 0 && *start <= *end &&
        static_cast<std::uint64_t>(*end) < sample.frames.size()) {
        chunks.loops.push_back({static_cast<std::uint32_t>(*start),
                                static_cast<std::uint32_t>(*end), *type == 1 ? 1u : 0u});
    }
    return chunks;
}

} // namespace velomire::transfer

namespace velomire::transfer {

std::string SdsReceivedNote(const DecodedSample& sample) {
    std::string note;
    const std::string name = ReceivedName(sample.fields).value_or("");
    if (const int part = program::PartOfName(name); part != 0) {
        note = std::string("the ") + (part == 1 ? "left" : "right") +
               " half of the stereo pair \"" + program::EntryNameOfHalf(name) + "\"; ";
    }
    return note + "an SDS dump carries no root key: the WAV file says " +
           std::to_string(defaultRootKey);
}

} // namespace velomire::transfer
