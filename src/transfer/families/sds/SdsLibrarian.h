#pragma once

#include "transfer/Librarian.h"
#include "transfer/families/SdsReceiver.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace velomire::transfer::families::sds {

// Reading back a Sample Dump Standard sampler. The standard has no catalogue: List asks for each
// number of the range the user chose with a Dump Request, takes the header of those the sampler
// answers and cancels their dumps; a number the sampler does not have costs one short wait, and
// a run of `probeGap` such numbers ends the list before the range does (32 empty numbers hold a
// list for 8 s, and samplers fill their numbers from the lowest). The names come from the Sample
// Name Request and the loops from the Loop Point Request, while the sampler answers them: once it
// leaves one unanswered it is not asked again. No programs, and nothing can be deleted.
class SdsLibrarian final : public Librarian {
public:
    // How long an unanswered number, name or loop request holds List and GetSample.
    static constexpr std::chrono::milliseconds probeWindow{250};
    static constexpr std::chrono::milliseconds extensionWindow{250};
    // The sample numbers a Dump Request can name.
    static constexpr int lastNumber = 16383;

    explicit SdsLibrarian(const LibrarianPorts& ports);

    bool CanDelete() const override { return false; }
    LibrarianResult List(std::vector<SamplerEntry>& entries, LibrarianProgress& progress) override;
    LibrarianResult ReadHeaders(std::vector<SamplerEntry>& entries,
                                LibrarianProgress& progress) override;
    LibrarianResult GetSample(int number, DecodedSample& sample,
                              LibrarianProgress& progress) override;
    LibrarianResult GetProgram(int number, DecodedProgram& program,
                               LibrarianProgress& progress) override;
    LibrarianResult Delete(SamplerEntry::Kind kind, int number) override;

private:
    // The sample's name, when the sampler answers the Sample Name Request.
    std::optional<std::string> AskName(int number, LibrarianProgress& progress);
    // Adds the sample's loops to its fields ("loopPoints": number, type, start, end of each),
    // when the sampler answers the Loop Point Request.
    void AskLoops(int number, DecodedSample& sample, LibrarianProgress& progress);

    MidiOutPort& out;
    int channel;
    int probeFirst;
    int probeLast;
    int probeGap;
    SdsReceiver receiver;
    // Whether the sampler answers the extensions: unknown until it is first asked.
    std::optional<bool> answersNames;
    std::optional<bool> answersLoops;
};

std::unique_ptr<Librarian> MakeSdsLibrarian(const LibrarianPorts& ports);

} // namespace velomire::transfer::families::sds
