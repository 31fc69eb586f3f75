#pragma once

#include "program/MessageList.h"
#include "program/PendingSamples.h"
#include "program/Program.h"
#include "program/SampleConverter.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velomire::program {

// What taking files into a program asks the user: the desktop application answers with its
// dialogs, tests as they are set.
class IncomingQuestions {
public:
    virtual ~IncomingQuestions() = default;
    // One question for every file to convert (named as the list shows them): the options chosen,
    // or nothing when the user declined.
    virtual std::optional<ConvertOptions> AskToConvert(const std::vector<std::string>& names,
                                                       const ConvertOptions& proposal) = 0;
    // The conversion the user agreed to: `done` goes from 0 to 1 between ConversionStarts and
    // ConversionEnded; Converting returns false when the user cancelled the rest.
    virtual void ConversionStarts() {}
    virtual bool Converting(double done) {
        static_cast<void>(done);
        return true;
    }
    virtual void ConversionEnded() {}
    // One question for every file of another folder: copy them into the program's directory?
    virtual bool ConfirmCopy(std::size_t count, const std::filesystem::path& directory) = 0;
};

// How the chosen sampler plays a file's rate, as the sampler's model says.
struct RateCheck {
    // How far off pitch the sampler plays a file of this rate ("146.7 cents flat"); nothing when
    // it plays it on pitch (or nothing is known).
    std::function<std::optional<std::string>(std::uint32_t rate)> offPitch{};
    // The rate the conversion proposes when a file plays off pitch.
    TargetRate proposedRate = TargetRate::keep;
};

// Decides, for each file added to a program or dropped on it, whether it goes in as it is, is
// copied into the program's directory or converted there, or is refused and why. Every refusal
// goes to the caller's MessageList, to be shown once the batch is over.
class IncomingFiles {
public:
    // `proposal`: the conversion choices last made, which the conversion's question proposes.
    IncomingFiles(SampleConverter& converter, IncomingQuestions& questions, RateCheck rates,
                  ConvertOptions proposal);

    // Offers to convert those of `files` that need it (one question for all of them): files the
    // WAV reader refuses and the converter reads, and files at a rate the sampler plays off pitch.
    // They are converted into `directory`. Per file: the file to take (the converted one, or the
    // file itself when it needs no conversion), or nothing when the user declined its conversion
    // or it failed.
    std::vector<std::optional<std::filesystem::path>>
    Prepare(const std::vector<std::filesystem::path>& files, const std::filesystem::path& directory,
            MessageList& refusals);

    // Per file, its name in `directory`: files from elsewhere are copied there after one question
    // (nothing when declined, or when the copy fails). A copy never goes over a file there.
    std::vector<std::optional<std::string>>
    BringIntoDirectory(const std::vector<std::optional<std::filesystem::path>>& files,
                       const std::filesystem::path& directory, MessageList& refusals);

    // The files the Select Samples dialog added: converted and copied into the program's
    // directory, the entries then naming the files there. A file that did not get there drops its
    // entry.
    void TakeChosen(PendingSamples& pending, const std::filesystem::path& directory,
                    MessageList& refusals);

    // The files dropped on the program (what is no regular file is passed over): converted and
    // copied into its directory. A file whose name a row of the program (or an earlier file of
    // the drop) already has is refused. The names of the files to add, in order.
    std::vector<std::string> TakeDropped(const std::vector<std::filesystem::path>& paths,
                                         const Program& program, MessageList& refusals);

private:
    SampleConverter& converter;
    IncomingQuestions& questions;
    RateCheck rates;
    ConvertOptions proposal;
};

// Adds the files in order as new rows (AddSample); once the program is full it says so once and
// leaves the rest.
void AddSampleFiles(Program& program, const std::vector<std::string>& names,
                    UserMessages& messages);

} // namespace velomire::program
