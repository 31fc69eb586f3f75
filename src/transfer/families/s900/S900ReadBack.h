#pragma once

#include "transfer/Librarian.h"
#include "transfer/SysExDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// The S900/S950 messages of reading back: the requests a librarian sends, the catalogue, sample
// parameters and program the sampler answers with, and its sample dump, one long message of a
// 19-byte header and 122-byte blocks, each acknowledged before the next is sent.
//
// Points chosen without hardware, from the published S900/S950 MIDI documentation:
// - The catalogue reply CAT is F0 47 cc 0B 40 00 00, 12-byte entries ('P' or 'S', the number, 10
//   ASCII characters), F7; one without the two 00 after 40 is read as well.
// - The sample dump request is F0 7E 00 ss ss F7, as the documentation gives it. When no dump
//   header comes within the wait, F0 7E 03 ss ss F7 (the Sample Dump Standard's Dump Request
//   without its channel byte, as the S900's sample dump is the Dump Header without it, F0 7E 01)
//   is sent once before giving up. The simulated sampler answers both.
// - The sampler waits for an ACK after the header and after every block, the last one included,
//   and may send the closing F7 with the last block or after its ACK.
inline constexpr std::size_t s900DumpHeaderBytes = 19;
inline constexpr std::size_t s900BlockBytes = 122; // number, 60 words in 120 bytes, checksum
inline constexpr std::uint32_t s900WordsPerBlock = 60;
inline constexpr std::size_t s900CatalogueEntryBytes = 12;

enum class S900HandshakeKind { ack, nak, abort };
std::vector<std::uint8_t> S900HandshakeMessage(S900HandshakeKind handshake);
std::optional<S900HandshakeKind> ParseS900Handshake(std::span<const std::uint8_t> message);

// A request as the sampler reads it. Numbers are 0-127 (one raw byte in the Akai messages).
struct S900Request {
    enum class Kind { catalogue, sampleParameters, program, sampleDump };
    Kind kind = Kind::catalogue;
    int channel = 0; // of the Akai requests
    int number = 0;
    bool otherDumpForm = false; // the sample dump request as F0 7E 03 ss ss F7
};
std::vector<std::uint8_t> S900RequestMessage(const S900Request& request);
std::optional<S900Request> ParseS900Request(std::span<const std::uint8_t> message);

std::vector<std::uint8_t> S900CatalogueMessage(int channel,
                                               const std::vector<SamplerEntry>& entries);
// The entries of a CAT message; nothing when the message is not one.
std::optional<std::vector<SamplerEntry>> ParseS900Catalogue(std::span<const std::uint8_t> message);

// The sample parameters (SPRM) and program (PRGM) of what a sampler holds, in the layout the
// senders use, with defaults for fields the item does not carry.
std::vector<std::uint8_t> S900SampleParametersMessage(int channel, const DecodedSample& sample);
std::vector<std::uint8_t> S900ProgramMessage(int channel, const DecodedProgram& program);

// The opening of a sample dump, F0 7E 01 up to the loop mode.
struct S900DumpHeader {
    int number = 0;
    int bits = 12;
    std::uint32_t periodNs = 0;
    std::uint32_t lengthWords = 0;
    std::uint32_t loopStart = 0;
    std::uint32_t loopEnd = 0;
    int loopMode = 0;
};
std::vector<std::uint8_t> S900DumpHeaderBytes(const S900DumpHeader& header);
std::optional<S900DumpHeader> ParseS900DumpHeader(std::span<const std::uint8_t> bytes);

// Blocks of a sample of `lengthWords` words: at least one.
std::uint32_t S900BlockCount(std::uint32_t lengthWords);
// Block `index` of the sample's frames (12-bit words, filler 0 past the end); `damaged` gives it a
// wrong checksum.
std::vector<std::uint8_t> S900BlockBytes(std::span<const std::int16_t> frames, std::uint32_t index,
                                         bool damaged = false);
// Appends the frames of one block that came as `bytes` (a whole block, or a last block cut short
// before the F7), at most `wanted` of them; the text says what is wrong, empty when it was taken.
std::string ReadS900Block(std::span<const std::uint8_t> bytes, std::uint32_t index, int bits,
                          std::uint32_t wanted, std::vector<std::int16_t>& frames);

} // namespace velomire::transfer
