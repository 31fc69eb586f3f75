#include "app/SamplerSession.h"

#include "app/CVelomireDoc.h"
#include "app/FileDialogs.h"
#include "transfer/PortNames.h"
#include "transfer/ReceivedFiles.h"
#include "transfer/SamplerModel.h"
#include "transfer/devices/NewFileCreator.h"

#include <QCoreApplication>

#include <algorithm>

namespace velomire::app {

SamplerSession::SamplerSession(CVelomireDoc& doc, transfer::MidiOutPort& out,
                               transfer::MidiInDriver& inDriver, transfer::WaitClock& clock,
                               AppServices::LibrarianFactory makeLibrarian, FileDialogs& dialogs)
    : doc(doc), out(out), inDriver(inDriver), clock(clock), makeLibrarian(std::move(makeLibrarian)),
      dialogs(dialogs) {}

SamplerSession::~SamplerSession() {
    Disconnect();
}

std::unique_ptr<transfer::Librarian> SamplerSession::Connect() {
    const transfer::SamplerSettings& settings = doc.Settings();
    const auto model = transfer::SamplerModel::Find(settings.samplerModel);
    if (!model) {
        Messages().Show("Select a Sampler in Options", program::appCaption);
        return nullptr;
    }
    // Found by name as a send finds them; a port saved by name that is not there is named.
    const auto find = [this](const std::vector<std::string>& names, const std::string& name,
                             std::int32_t index, const char* which) -> std::optional<int> {
        if (const auto found = transfer::FindSavedPort(names, name, index)) {
            return found;
        }
        if (name.empty()) {
            return index;
        }
        Messages().Show(std::string("The ") + which + " device \"" + name +
                            "\" is not there. Connect it (or start it), or choose another in "
                            "Options.",
                        program::appCaption);
        return std::nullopt;
    };
    const auto outIndex =
        find(out.PortNames(), settings.midiOutName, settings.midiOutDevice, "Midi Out");
    in.emplace(inDriver, clock);
    const auto inIndex =
        outIndex ? find(in->PortNames(), settings.midiInName, settings.midiInDevice, "Midi In")
                 : std::nullopt;
    if (!inIndex || !out.Open(*outIndex)) {
        in.reset();
        return nullptr;
    }
    // Every wait for the sampler keeps the windows painted and the Cancel button working.
    in->SetIdleHook([] { QCoreApplication::processEvents(); });
    if (const transfer::MidiStatus status = in->Open(*inIndex); !status) {
        Messages().Show(status.text, "Midi In device");
        Disconnect();
        return nullptr;
    }
    const transfer::LibrarianPorts ports{out, *in, settings.midiChannel & 0x7F,
                                         settings.exclusiveChannel & 0x7F};
    auto librarian = makeLibrarian ? makeLibrarian(settings.samplerModel, ports)
                                   : transfer::MakeLibrarian(settings.samplerModel, ports);
    if (!librarian) {
        Messages().Show("Velomire cannot read back from the " + std::string(model->shortName) +
                            " yet.",
                        program::appCaption);
        Disconnect();
    }
    return librarian;
}

void SamplerSession::Disconnect() {
    if (in) {
        in->Close();
        in.reset();
    }
    if (out.IsOpen()) {
        out.Close();
    }
}

const program::Program& SamplerSession::OpenProgram() {
    return doc.GetProgram();
}

std::int32_t SamplerSession::Model() {
    return doc.Settings().samplerModel;
}

std::optional<std::filesystem::path>
SamplerSession::ChooseFolder(const std::filesystem::path& start) {
    const QString folder = dialogs.FolderName(QStringLiteral("Get samples into"),
                                              QString::fromStdString(start.string()));
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(folder.toStdString());
}

std::optional<std::filesystem::path>
SamplerSession::SaveSample(const transfer::DecodedSample& sample,
                           const std::filesystem::path& folder) {
    transfer::NewFileCreator creator;
    transfer::ReceivedFiles files(folder, creator);
    std::string error;
    const auto name = files.WriteSample(sample, error);
    if (!name) {
        Messages().Show("Sample " + std::to_string(sample.number) + " was not written: " + error,
                        program::appCaption);
        return std::nullopt;
    }
    return folder / *name;
}

bool SamplerSession::OpenTakenBack(const transfer::DecodedProgram& program,
                                   const std::vector<transfer::DecodedSample>& samples,
                                   const std::filesystem::path& folder) {
    transfer::NewFileCreator creator;
    transfer::ReceivedFiles files(folder, creator);
    std::string error;
    // What was left out, told in one box rather than one per keygroup.
    struct Collected final : program::UserMessages {
        std::vector<std::string> lines;
        void Show(std::string_view text, std::string_view) override {
            if (std::find(lines.begin(), lines.end(), text) == lines.end()) {
                lines.emplace_back(text);
            }
        }
    } leftOut;
    const auto name = files.WriteProgram(program, samples, leftOut, error);
    if (!leftOut.lines.empty()) {
        std::string text;
        for (const std::string& line : leftOut.lines) {
            text += (text.empty() ? "" : "\n") + line;
        }
        Messages().Show(text, program::appCaption);
    }
    if (!name) {
        Messages().Show("The program was not written: " + error, program::appCaption);
        return false;
    }
    return doc.OnOpenDocument(QString::fromStdString((folder / *name).string()));
}

bool SamplerSession::MayReplaceProgram() {
    return doc.SaveModified();
}

bool SamplerSession::Ask(const std::string& question) {
    return dialogs.Confirm(QString::fromStdString(question));
}

program::UserMessages& SamplerSession::Messages() {
    return doc.Messages();
}

} // namespace velomire::app
