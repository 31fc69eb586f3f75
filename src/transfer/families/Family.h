#pragma once

#include "program/Program.h"
#include "program/SampleChunks.h"
#include "program/SampleConverter.h"
#include "transfer/Librarian.h"
#include "transfer/SamplerMemory.h"
#include "transfer/SamplerModel.h"
#include "transfer/SamplerReply.h"
#include "transfer/SysExDecoder.h"
#include "transfer/TransferContext.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::disk {
struct FamilyImages;
} // namespace velomire::disk

namespace velomire::transfer {

// What a send puts on the wire, for the estimate: bytes, and the fixed waits in seconds.
struct WireEstimate {
    double bytes = 0;
    double waitSeconds = 0;
};

struct ReceivedZone;
class ReceivingSampler;

// How a sampler plays a sample whose rate it cannot play: the rate it plays the words at, in Hz,
// and how far that lies from the sample's pitch, in cents (negative: flat).
struct OffPitch {
    std::uint32_t playRate = 0;
    double cents = 0;
};

// How a sound of another program reaches a family: converted to another rate, or kept and played
// at `playRate` (0: at its own rate).
struct ImportedRate {
    program::TargetRate convertTo = program::TargetRate::keep;
    std::uint32_t playRate = 0;
};

// The outputs of the two keygroups that hold a stereo sample's left and right halves.
struct StereoOutputs {
    int left = 0;
    int right = 0;
};

// The numbers a first send to a sampler proposes.
struct FirstNumbers {
    std::int32_t program = 0;
    std::int32_t sample = 0;
};

// One sampler family's protocol: every rule that differs between the SDS samplers, the S900/S950
// and the S1000/S3000 family lives behind this, in the family's folder. The model table says
// which family a model belongs to (and its header block size); nothing else asks.
//
// A family holds no state: one constant object per family, shared by every caller.
class Family {
public:
    virtual ~Family() = default;

    // How decoded files name the family: "SDS", "S900", "S1000".
    virtual std::string_view Name() const = 0;
    // The characters of a sample name the sampler shows; 0 when it shows what it is sent.
    virtual int ShownNameChars() const = 0;
    // A name as the sampler shows it, to compare names by: through its character set. Letter
    // case is dropped (upper case kept) where the family has no character set of its own.
    virtual std::string ShownName(std::string_view name) const;
    // ASCII letters in upper case, everything else as it is.
    static std::string CaseFolded(std::string_view name);

    // Playing. Whether a program plays every entry on all of the sampler's voices, so that no
    // entry's output is sent (a stereo entry's halves go as the pair 8 and 9).
    virtual bool PlaysOnAllVoices() const { return false; }
    // The velocity layers a key of a program plays; 0 when any number.
    virtual std::size_t LayersPerKey() const { return 0; }

    // Sending. A part is one channel of an entry (program::PartsOf); the messages go out
    // in the order the family takes them.
    virtual FirstNumbers FirstSendNumbers() const = 0;
    // Why the entry cannot go to this family ("Error: ... !"), or empty.
    virtual std::string SampleRefusal(const program::SampleBlock& sample,
                                      const std::string& fileName) const;
    // Why these numbers cannot (the program's, and the first and last sample's), or empty.
    virtual std::string NumbersRefusal(std::int32_t program, std::int32_t firstSample,
                                       std::int64_t lastSample) const;
    // How the sampler plays the entry when it cannot play its rate, or nothing (the entry goes
    // as it is either way).
    virtual std::optional<OffPitch> OffPitchOf(const program::SampleBlock& sample) const;
    virtual void SendSamplePart(TransferContext& context, int entry, int part) const = 0;
    // Whether the program (its keygroups) follows the samples.
    virtual bool SendsProgram() const = 0;
    virtual void SendProgram(TransferContext& context) const;
    // Whether a part the sampler answered packet by packet is known to have arrived whole; the
    // S900 family's block answers are only counted, its data goes one-way.
    virtual bool HandshakeConfirmsData() const { return true; }

    // The wire bytes and waits of one sample part of `lengthWords` words, and of the program
    // of `entries` entries sending `parts` parts, as the builders put them out.
    virtual WireEstimate PartOnWire(std::uint32_t lengthWords,
                                    const SamplerModelInfo& model) const = 0;
    virtual WireEstimate ProgramOnWire(int entries, int parts, const SamplerModelInfo& model) const;

    // Importing another program's sounds: what becomes of a sound's rate, why a zone's tune is
    // lost (empty when the family keeps it), and what every import loses (empty when nothing).
    virtual ImportedRate RateOfImport(std::uint32_t rate) const;
    virtual std::string_view TuneNotCarried() const { return {}; }
    virtual std::string_view ImportLoss() const { return {}; }

    // Disks: the family's floppies and hard disks, as disk/DiskImage.cpp writes and reads them;
    // null when its samplers have no drive Velomire writes for.
    virtual const disk::FamilyImages* Images() const { return nullptr; }
    // The outputs of the two keygroups, one after the other over the same keys, in which the
    // family's program files keep a stereo sample's halves; nothing when one keygroup plays both.
    virtual std::optional<StereoOutputs> StereoKeygroupOutputs() const { return std::nullopt; }

    // Reading back: the family's librarian over open ports, and the sampler's side of it for
    // the simulated sampler. Null while the family has none.
    virtual std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model,
                                                     const LibrarianPorts& ports) const;
    virtual std::unique_ptr<RequestResponder>
    MakeResponder(std::int32_t model, SamplerMemory& memory, const SendFaults& faults) const;

    // Decoding: recognising the family's messages in a stream taken back and reading what each
    // one says; SysExDecoder keeps what spans messages (the open sample and program, gaps,
    // resends). Every family is asked about a message, in the order of Family::All.
    // A whole message (F0 to F7, data bytes between) as the family reads it: decoded, refused
    // with the reason, or of kind unknown when it opens like the family's messages but is none of
    // them; nothing when it is not the family's. A Data Packet's words are `packetBits` wide, the
    // word size of the sample open for packets.
    virtual std::optional<DecodedMessage> Decode(std::span<const std::uint8_t> message,
                                                 std::size_t offset, int packetBits) const = 0;
    // The handshake or reply in a whole message in the family's form, or nothing.
    virtual std::optional<SamplerReply> ReplyOf(std::span<const std::uint8_t> message) const = 0;
    // Every family, in the order of SamplerFamily (FamilyOf names each).
    static std::span<const Family* const> All();

    // The chunks of the WAV file a sample taken back becomes: its root key and loops, as the
    // family stores them.
    virtual program::SampleChunks ReceivedChunks(const DecodedSample& sample) const = 0;
    // What the user must know of a sample taken back beyond its file; empty when nothing.
    virtual std::string ReceivedNote(const DecodedSample&) const { return {}; }
    // A program taken back as the header words and one row per zone, each row starting from
    // `defaults`. False for a family that keeps no programs.
    virtual bool ReceivedZones(const DecodedProgram& received,
                               const program::KeygroupBlock& defaults,
                               program::ProgramHeader& header,
                               std::vector<ReceivedZone>& zones) const;

    // The simulated sampler's side of a send. It takes every family's messages, whichever model
    // it plays, and hands each to every family in turn.
    // The longest message of the family it must take whole with `memoryWords` words of sample
    // memory; 0 when none is longer than a few kilobytes.
    virtual std::size_t LongestSentMessage(std::uint32_t /*memoryWords*/) const { return 0; }
    // A message still arriving, its bytes so far from F0: answers what is answered before its
    // end, and says at what length the message is to be shown again (notAgain: never).
    static constexpr std::size_t notAgain = std::numeric_limits<std::size_t>::max();
    virtual std::size_t Arriving(std::span<const std::uint8_t> /*message*/,
                                 ReceivingSampler& /*sampler*/) const {
        return notAgain;
    }
    // The wire number of the data packet a whole message is, for the script to lose it; nothing
    // for any other message.
    virtual std::optional<int> DataPacketNumber(std::span<const std::uint8_t> /*message*/) const {
        return std::nullopt;
    }
    // A whole message the decoder read, taken or refused: answers it when it is one of the
    // family's, and says whether it was.
    virtual bool AnswerReceived(const SysExDecoder::Result& /*result*/,
                                ReceivingSampler& /*sampler*/) const {
        return false;
    }
};

// The family of the model's table row; null for -1 and any number outside the table.
const Family* FamilyOf(std::int32_t model);
const Family* FamilyOf(SamplerFamily family);

} // namespace velomire::transfer
