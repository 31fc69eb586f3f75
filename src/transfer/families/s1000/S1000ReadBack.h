#pragma once

#include "transfer/SysExDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// The S1000/S3000 family's messages for reading the sampler back: F0 47 cc ff 48 ... F7, with cc
// the exclusive channel and ff the function. Program and sample numbers travel as two 7-bit
// groups, low first (a real S2000 answers program 20 with 14 00); block bytes as two nibbles, low
// first; the names of a list as 12 raw bytes each in the sampler's character set.
enum class S1000Function : std::uint8_t {
    rstat = 0x00,
    stat = 0x01,
    rplist = 0x02,
    plist = 0x03,
    rslist = 0x04,
    slist = 0x05,
    rpdata = 0x06,
    pdata = 0x07,
    rkdata = 0x08,
    kdata = 0x09,
    rsdata = 0x0A,
    sdata = 0x0B,
    rspack = 0x0C,
    delp = 0x12,
    dels = 0x14,
    reply = 0x16,
};

// One S1000-family message taken apart: its channel, function and the bytes between the model
// byte and F7.
struct S1000Message {
    int channel = 0;
    S1000Function function = S1000Function::rstat;
    std::span<const std::uint8_t> body;
};
std::optional<S1000Message> ParseS1000Message(std::span<const std::uint8_t> message);

// The number in the first two body bytes (7-bit groups, low first), if the body has them.
std::optional<int> S1000Number(std::span<const std::uint8_t> body);

// A request without arguments (RSTAT, RPLIST, RSLIST) or with a program or sample number
// (RPDATA, RSDATA, DELP, DELS); the number is 0-16383.
std::vector<std::uint8_t> S1000Request(S1000Function function, int channel);
std::vector<std::uint8_t> S1000Request(S1000Function function, int channel, int number);
// RKDATA: one keygroup (0-based) of a program.
std::vector<std::uint8_t> S1000KeygroupRequest(int channel, int program, int keygroup);
// RSPACK: `words` sample words from `offset`, sent back as Sample Dump Standard Data Packets;
// every word (interval 1), at full resolution (0).
std::vector<std::uint8_t> S1000PacketRequest(int channel, int sample, std::uint32_t offset,
                                             std::uint32_t words);
struct S1000PacketRange {
    int sample = 0;
    std::uint32_t offset = 0;
    std::uint32_t words = 0;
};
std::optional<S1000PacketRange> ParseS1000PacketRequest(std::span<const std::uint8_t> body);

// REPLY: 0 when the last request was carried out, anything else when it was refused.
std::vector<std::uint8_t> S1000Reply(int channel, int status);

// STAT, the sampler's status report.
struct S1000Status {
    int versionMajor = 0;
    int versionMinor = 0;
    int maxBlocks = 0; // program, keygroup and sample header blocks
    int freeBlocks = 0;
    std::uint32_t maxWords = 0; // sample memory
    std::uint32_t freeWords = 0;
    int exclusiveChannel = 0;
};
std::vector<std::uint8_t> S1000StatusMessage(int channel, const S1000Status& status);
std::optional<S1000Status> ParseS1000Status(std::span<const std::uint8_t> body);

// PLIST and SLIST: the count, then each name. Names are shown as the decoder shows them, read
// back without the blanks that pad them.
std::vector<std::uint8_t> S1000NameList(S1000Function function, int channel,
                                        const std::vector<std::string>& names);
std::optional<std::vector<std::string>> ParseS1000NameList(std::span<const std::uint8_t> body);

// The number of keygroups a program header (the body of PDATA) announces.
std::optional<int> S1000KeygroupCount(std::span<const std::uint8_t> body);

// The sampler's answers to RSDATA, RPDATA and RKDATA, rebuilt from what the decoder took from
// the messages that brought them, in blocks of `blockBytes` (s1000::BlockBytes of the model); the
// bytes the decoder does not keep are written as the send writes them.
std::vector<std::uint8_t> S1000SampleHeaderMessage(int channel, int number,
                                                   const DecodedSample& sample,
                                                   std::size_t blockBytes);
std::vector<std::uint8_t> S1000ProgramHeaderMessage(int channel, int number,
                                                    const DecodedProgram& program,
                                                    std::size_t blockBytes);
std::vector<std::uint8_t> S1000KeygroupMessage(int channel, int program, int keygroup,
                                               const DecodedFields& fields, std::size_t blockBytes);

} // namespace velomire::transfer
