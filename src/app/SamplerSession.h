#pragma once

#include "app/AppServices.h"
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/ui/CSamplerWnd.h"

#include <optional>

namespace velomire::app {

class CVelomireDoc;
class FileDialogs;

// The Sampler window's link to the application while it is open: the ports of Options (found by
// name, as a send finds them) and the chosen sampler's librarian, the open program, the files
// written from what comes back, and the user's answers.
class SamplerSession final : public transfer::SamplerHost {
public:
    SamplerSession(CVelomireDoc& doc, transfer::MidiOutPort& out, transfer::MidiInDriver& inDriver,
                   transfer::WaitClock& clock, AppServices::LibrarianFactory makeLibrarian,
                   FileDialogs& dialogs);
    ~SamplerSession() override;

    std::unique_ptr<transfer::Librarian> Connect() override;
    void Disconnect() override;
    const program::Program& OpenProgram() override;
    std::int32_t Model() override;
    std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& start) override;
    std::optional<std::filesystem::path> SaveSample(const transfer::DecodedSample& sample,
                                                    const std::filesystem::path& folder) override;
    bool MayReplaceProgram() override;
    bool OpenTakenBack(const transfer::DecodedProgram& program,
                       const std::vector<transfer::DecodedSample>& samples,
                       const std::filesystem::path& folder) override;
    bool Ask(const std::string& question) override;
    program::UserMessages& Messages() override;

private:
    CVelomireDoc& doc;
    transfer::MidiOutPort& out;
    transfer::MidiInDriver& inDriver;
    transfer::WaitClock& clock;
    AppServices::LibrarianFactory makeLibrarian;
    FileDialogs& dialogs;
    std::optional<transfer::MidiInPort> in;
};

} // namespace velomire::app
