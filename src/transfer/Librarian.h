#pragma once

#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SysExDecoder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::transfer {

// One program or sample the sampler holds, as its catalogue lists it. The size and the rate are
// known once the item's header has been read.
struct SamplerEntry {
    enum class Kind { program, sample };
    Kind kind = Kind::sample;
    int number = 0;
    std::string name;
    std::optional<std::uint32_t> words{}; // sample length
    std::optional<std::uint32_t> rate{};  // Hz
    // The number a send gave it, where the sampler lists it under another (an S1000-family
    // program keeps the program number it was sent as, whatever its place in the list).
    std::optional<int> sentAs{};

    // "program#1", as the send named it; empty when not known.
    std::string SentAsText() const;
};

// Which numbers a family's list shows, for the user and for scripts: "position" (places in the
// sampler's lists, from 0) or "send" (the numbers a send gives).
struct ListNumbering {
    std::string_view key;
    std::string_view text;
};

// How a request to the sampler ended, and what to tell the user ("The sampler did not answer
// the catalogue request within 2 s."). `done` with a text is done with a warning.
struct LibrarianResult {
    enum class Outcome { done, failed, cancelled, noAnswer, unsupported };
    Outcome outcome = Outcome::done;
    std::string text{};
    bool Ok() const { return outcome == Outcome::done; }
};

// Where a transfer from the sampler reports, and how the user stops it.
class LibrarianProgress {
public:
    virtual ~LibrarianProgress() = default;
    // `done` of `total` units (bytes or words) of the item being read; total 0 when not known.
    virtual void Progress(std::uint64_t done, std::uint64_t total) = 0;
    virtual bool Cancelled() = 0;
};

// The ports and channels a librarian talks on; both ports are open for its whole life.
struct LibrarianPorts {
    MidiOutPort& out;
    MidiInPort& in;
    int channel = 0;          // SDS channel byte, 0-127
    int exclusiveChannel = 0; // Akai exclusive channel byte, 0-127
    // SDS: the numbers probed for samples, when the sampler has no catalogue, and the run of
    // empty numbers after which the probe ends before probeLast (0: never).
    int probeFirst = 0;
    int probeLast = 31;
    int probeGap = 0;
};

// The reading side of one sampler family: what the sampler holds, a sample or a program taken
// back as the decoder would have rebuilt it from a dump, and tidying the sampler's memory. Every
// wait is bounded and ends early when the progress says the user cancelled (the sampler is then
// told, where the family has a way to tell it).
class Librarian {
public:
    virtual ~Librarian() = default;
    virtual bool CanDelete() const = 0;
    // The sampler's programs and samples by number and name.
    virtual LibrarianResult List(std::vector<SamplerEntry>& entries,
                                 LibrarianProgress& progress) = 0;
    // Fills in the size and rate of the listed samples from their headers, where the family can
    // read a header without the data.
    virtual LibrarianResult ReadHeaders(std::vector<SamplerEntry>& entries,
                                        LibrarianProgress& progress) = 0;
    // What the numbers of List are. By default the numbers a send gives (sample#4 is 4).
    virtual ListNumbering Numbering() const;
    // Fills in `sentAs` of the listed items where the family lists by place; nothing to do where
    // the list shows the numbers a send gives.
    virtual LibrarianResult ReadSentNumbers(std::vector<SamplerEntry>& entries,
                                            LibrarianProgress& progress);
    virtual LibrarianResult GetSample(int number, DecodedSample& sample,
                                      LibrarianProgress& progress) = 0;
    // The program's header and keygroups (or the S900 program), without the samples it plays.
    virtual LibrarianResult GetProgram(int number, DecodedProgram& program,
                                       LibrarianProgress& progress) = 0;
    virtual LibrarianResult Delete(SamplerEntry::Kind kind, int number) = 0;
};

// The librarian of the model's family; null for a model without one.
std::unique_ptr<Librarian> MakeLibrarian(std::int32_t model, const LibrarianPorts& ports);

} // namespace velomire::transfer
