#pragma once

#include "program/Program.h"
#include "program/UserMessages.h"
#include "transfer/Librarian.h"

#include <QDialog>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace velomire::transfer {

// What the Sampler window needs from the application: the ports and the librarian of the
// sampler chosen in Options, the open program, the files, and the questions to the user.
class SamplerHost {
public:
    virtual ~SamplerHost() = default;
    // Opens the ports of Options and makes the sampler's librarian; null after telling the user
    // why not. Disconnect closes the ports again.
    virtual std::unique_ptr<Librarian> Connect() = 0;
    virtual void Disconnect() = 0;
    virtual const program::Program& OpenProgram() = 0;
    virtual std::int32_t Model() = 0;
    // The folder for samples taken back, starting at `start`; nothing when the user cancelled.
    virtual std::optional<std::filesystem::path>
    ChooseFolder(const std::filesystem::path& start) = 0;
    // Writes a sample taken back into `folder` under a name of its own; the file written, or
    // nothing after telling the user why not.
    virtual std::optional<std::filesystem::path>
    SaveSample(const DecodedSample& sample, const std::filesystem::path& folder) = 0;
    // Before a program taken back replaces the open one: asks to save it when it is modified;
    // false when the user keeps it.
    virtual bool MayReplaceProgram() = 0;
    // Writes the program taken back and its samples into `folder` and opens it as the current
    // program; false after telling the user why not.
    virtual bool OpenTakenBack(const DecodedProgram& program,
                               const std::vector<DecodedSample>& samples,
                               const std::filesystem::path& folder) = 0;
    // A yes/no question; true for yes.
    virtual bool Ask(const std::string& question) = 0;
    virtual program::UserMessages& Messages() = 0;
};

// "Sampler contents": the sampler's programs and samples by number and name, with sizes and rates
// once their headers are read, those of the open program marked. Get writes the selected samples
// into a folder, Get program opens a program taken back as the current one, Delete removes what
// is selected (where the family can). One task at a time, with its progress bar and Cancel; the
// window stays painted during every wait (the ports' idle hooks run the event loop).
class CSamplerWnd : public QDialog {
    Q_OBJECT

public:
    CSamplerWnd(SamplerHost& host, QWidget* parent = nullptr);
    ~CSamplerWnd() override;

    // Opens the ports again and lists the sampler's contents (also when the window opens).
    void Refresh();
    void GetSamples();
    void GetProgram();
    void DeleteSelected();
    bool Busy() const { return busy; }
    // Close, Esc: cancels a task in progress first; the window closes as soon as it has ended.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class TaskProgress;

    // Lists the contents through the ports open now.
    void ListContents();
    std::vector<SamplerEntry> Selected(SamplerEntry::Kind kind) const;
    void ShowEntries();
    void UpdateButtons();
    // Runs one task with the progress bar and Cancel; false when the librarian is not there.
    bool Begin();
    void End(const std::string& status);
    // The ending of a task that did not finish: the status line, with `what` got done in
    // brackets; a failure also shows it in a box when the task ends.
    std::string Ending(const LibrarianResult& result, const std::string& what);

    SamplerHost& host;
    std::unique_ptr<Librarian> librarian;
    std::vector<SamplerEntry> entries;
    bool busy = false;
    bool cancelled = false;
    bool failed = false;
    bool closeWhenIdle = false; // closed during a task
    bool closed = false;
    QLabel* status;
    QLabel* numbering;
    QTreeWidget* list;
    QProgressBar* bar;
    QPushButton* refreshButton;
    QPushButton* getButton;
    QPushButton* getProgramButton;
    QPushButton* deleteButton;
    QPushButton* cancelButton;
};

} // namespace velomire::transfer
