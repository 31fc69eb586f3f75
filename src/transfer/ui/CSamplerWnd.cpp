#include "transfer/ui/CSamplerWnd.h"

#include "transfer/DumpText.h"
#include "transfer/ReceivedFiles.h"
#include "transfer/SamplerContents.h"
#include "transfer/SamplerModel.h"
#include "transfer/SysExDecoder.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace velomire::transfer {
namespace {

enum Column {
    kindColumn,
    numberColumn,
    sentAsColumn,
    nameColumn,
    sizeColumn,
    rateColumn,
    markColumn
};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// "sample 4 "PAD -L"": the name without the spaces that pad it.
std::string Named(const SamplerEntry& entry) {
    std::string name = EscapedDumpText(entry.name);
    name.erase(name.find_last_not_of(' ') + 1);
    return std::string(entry.kind == SamplerEntry::Kind::program ? "program " : "sample ") +
           std::to_string(entry.number) + " \"" + name + "\"";
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

// The task's progress bar, and the user's Cancel (or closing the window) as the librarian asks.
class CSamplerWnd::TaskProgress final : public LibrarianProgress {
public:
    explicit TaskProgress(CSamplerWnd& window) : window(window) {}
    void Progress(std::uint64_t done, std::uint64_t total) override {
        if (total == 0) {
            window.bar->setRange(0, 0);
        } else {
            window.bar->setRange(0, 1000);
            window.bar->setValue(
                static_cast<int>(std::min<std::uint64_t>(done, total) * 1000 / total));
        }
        QCoreApplication::processEvents();
    }
    bool Cancelled() override {
        QCoreApplication::processEvents();
        return window.cancelled;
    }

private:
    CSamplerWnd& window;
};

CSamplerWnd::~CSamplerWnd() = default;

CSamplerWnd::CSamplerWnd(SamplerHost& host, QWidget* parent) : QDialog(parent), host(host) {
    const auto model = SamplerModel::Find(host.Model());
    setWindowTitle(
        QStringLiteral("Sampler contents") +
        (model ? QStringLiteral(" - ") + Text(std::string(model->longName)) : QString()));
    status = new QLabel;
    status->setObjectName(QStringLiteral("statusLabel"));
    status->setWordWrap(true);

    list = new QTreeWidget;
    list->setObjectName(QStringLiteral("contentsList"));
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setHeaderLabels({QStringLiteral("Kind"), QStringLiteral("Number"),
                           QStringLiteral("Sent as"), QStringLiteral("Name"),
                           QStringLiteral("Size (words)"), QStringLiteral("Rate (Hz)"),
                           QStringLiteral("Open program")});
    list->setColumnHidden(sentAsColumn, true); // until a family lists by place
    // Which numbers the list shows, once the sampler's family is known.
    numbering = new QLabel;
    numbering->setObjectName(QStringLiteral("numberingLabel"));
    numbering->setWordWrap(true);
    numbering->setVisible(false);
    list->header()->setStretchLastSection(true);
    connect(list, &QTreeWidget::itemSelectionChanged, this, &CSamplerWnd::UpdateButtons);

    const auto button = [this](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    refreshButton = button(QStringLiteral("&Refresh"), "refreshButton");
    getButton = button(QStringLiteral("&Get..."), "getButton");
    getProgramButton = button(QStringLiteral("Get &program"), "getProgramButton");
    deleteButton = button(QStringLiteral("&Delete"), "deleteButton");
    cancelButton = button(QStringLiteral("Cancel"), "cancelButton");
    auto* closeButton = button(QStringLiteral("Close"), "closeButton");
    connect(refreshButton, &QPushButton::clicked, this, &CSamplerWnd::Refresh);
    connect(getButton, &QPushButton::clicked, this, &CSamplerWnd::GetSamples);
    connect(getProgramButton, &QPushButton::clicked, this, &CSamplerWnd::GetProgram);
    connect(deleteButton, &QPushButton::clicked, this, &CSamplerWnd::DeleteSelected);
    connect(cancelButton, &QPushButton::clicked, this, [this] { cancelled = true; });
    connect(closeButton, &QPushButton::clicked, this, &CSamplerWnd::reject);

    bar = new QProgressBar;
    bar->setObjectName(QStringLiteral("progressBar"));
    bar->setTextVisible(false);

    auto* actions = new QHBoxLayout;
    for (QPushButton* b : {refreshButton, getButton, getProgramButton, deleteButton}) {
        actions->addWidget(b);
    }
    actions->addStretch(1);
    actions->addWidget(closeButton);
    // The bar and Cancel stay in place between tasks, empty and disabled.
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(bar, 1);
    progressRow->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status);
    layout->addWidget(list, 1);
    layout->addWidget(numbering);
    layout->addLayout(progressRow);
    layout->addLayout(actions);
    resize(fontMetrics().averageCharWidth() * 90, fontMetrics().height() * 28);
    UpdateButtons();
}

void CSamplerWnd::Refresh() {
    if (busy) {
        return;
    }
    // The ports are opened afresh, found by name: one that went away and came back (an interface
    // plugged in again, a program restarted) is found, and the one that has gone is let go.
    librarian.reset();
    host.Disconnect();
    ListContents();
}

void CSamplerWnd::ListContents() {
    if (busy || !Begin()) {
        return;
    }
    entries.clear();
    const ListNumbering said = librarian->Numbering();
    numbering->setText(Text(std::string(said.text)));
    numbering->setVisible(true);
    list->setColumnHidden(sentAsColumn, said.key == "send");
    ShowEntries();
    TaskProgress progress(*this);
    LibrarianResult result = librarian->List(entries, progress);
    if (result.Ok()) {
        ShowEntries();
        result = librarian->ReadSentNumbers(entries, progress);
    }
    if (result.Ok()) {
        ShowEntries();
        result = librarian->ReadHeaders(entries, progress);
        ShowEntries();
    }
    const auto programs =
        static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(), [](const auto& e) {
            return e.kind == SamplerEntry::Kind::program;
        }));
    const std::string held = "The sampler holds " + Count(programs, "program", "programs") +
                             " and " + Count(entries.size() - programs, "sample", "samples") + ".";
    if (!result.Ok()) {
        End(Ending(result, ""));
    } else {
        End(result.text.empty() ? held : held + " (" + result.text + ")");
    }
}

void CSamplerWnd::GetSamples() {
    const std::vector<SamplerEntry> chosen = Selected(SamplerEntry::Kind::sample);
    if (busy || chosen.empty()) {
        return;
    }
    const std::filesystem::path start = host.OpenProgram().programDirectory;
    const auto folder = host.ChooseFolder(start.empty() ? std::filesystem::current_path() : start);
    if (!folder || !Begin()) {
        return;
    }
    TaskProgress progress(*this);
    std::size_t written = 0;
    std::string ending;
    std::string notes; // what a written file does not say ("an SDS dump carries no root key")
    for (const SamplerEntry& entry : chosen) {
        status->setText(Text("Getting " + Named(entry) + " (" + std::to_string(written + 1) +
                             " of " + std::to_string(chosen.size()) + ")..."));
        DecodedSample sample;
        const LibrarianResult result = librarian->GetSample(entry.number, sample, progress);
        if (!result.Ok()) {
            ending = Ending(result, Count(written, "sample", "samples") + " of " +
                                        std::to_string(chosen.size()) + " written");
            break;
        }
        if (!host.SaveSample(sample, *folder)) {
            ending = Count(written, "sample", "samples") + " of " + std::to_string(chosen.size()) +
                     " written.";
            break;
        }
        ++written;
        if (const std::string note = ReceivedSampleNote(sample); !note.empty()) {
            std::string named = Named(entry);
            named.front() = 'S';
            notes.append(" ").append(named).append(": ").append(note).append(".");
        }
    }
    End((ending.empty()
             ? "Got " + Count(written, "sample", "samples") + " into " + folder->string() + "."
             : ending) +
        notes);
}

void CSamplerWnd::GetProgram() {
    const std::vector<SamplerEntry> chosen = Selected(SamplerEntry::Kind::program);
    if (busy || chosen.size() != 1 || !host.MayReplaceProgram()) {
        return;
    }
    const std::filesystem::path start = host.OpenProgram().programDirectory;
    const auto folder = host.ChooseFolder(start.empty() ? std::filesystem::current_path() : start);
    if (!folder || !Begin()) {
        return;
    }
    TaskProgress progress(*this);
    status->setText(Text("Getting " + Named(chosen[0]) + " and its samples..."));
    DecodedProgram program;
    LibrarianResult result = librarian->GetProgram(chosen[0].number, program, progress);
    std::vector<DecodedSample> samples;
    if (result.Ok()) {
        for (const int number : SamplesOfProgram(program, entries)) {
            DecodedSample sample;
            result = librarian->GetSample(number, sample, progress);
            if (!result.Ok()) {
                break;
            }
            samples.push_back(std::move(sample));
        }
    }
    if (!result.Ok()) {
        End(Ending(result, "the open program was kept"));
        return;
    }
    const bool opened = host.OpenTakenBack(program, samples, *folder);
    ShowEntries(); // marked as the program now open
    End(opened ? "Got " + Named(chosen[0]) + " with " + Count(samples.size(), "sample", "samples") +
                     " into " + folder->string() + "."
               : "The open program was kept.");
}

void CSamplerWnd::DeleteSelected() {
    std::vector<SamplerEntry> chosen = Selected(SamplerEntry::Kind::program);
    const std::vector<SamplerEntry> samples = Selected(SamplerEntry::Kind::sample);
    chosen.insert(chosen.end(), samples.begin(), samples.end());
    if (busy || chosen.empty() || !librarian || !librarian->CanDelete()) {
        return;
    }
    std::string names;
    for (const SamplerEntry& entry : chosen) {
        names += (names.empty() ? "" : ", ") + Named(entry);
    }
    if (!host.Ask("Delete " + names + " from the sampler? This cannot be undone.")) {
        return;
    }
    if (!Begin()) {
        return;
    }
    std::size_t deleted = 0;
    std::string ending;
    for (const SamplerEntry& entry : chosen) {
        const LibrarianResult result = librarian->Delete(entry.kind, entry.number);
        if (!result.Ok()) {
            ending = Ending(result, Count(deleted, "item", "items") + " deleted");
            break;
        }
        ++deleted;
    }
    End(ending.empty() ? "Deleted " + names + "." : ending);
    if (closed) {
        return;
    }
    const QString said = status->text();
    ListContents(); // what the sampler holds now
    status->setText(said);
}

void CSamplerWnd::closeEvent(QCloseEvent* event) {
    if (busy) {
        // The task ends at its next wait, and the window closes then.
        cancelled = true;
        closeWhenIdle = true;
        event->ignore();
        return;
    }
    librarian.reset(); // it talks through the ports until it goes
    host.Disconnect();
    closed = true;
    QDialog::closeEvent(event);
}

void CSamplerWnd::reject() {
    if (busy) {
        cancelled = true;
        closeWhenIdle = true;
        return;
    }
    librarian.reset();
    host.Disconnect();
    closed = true;
    QDialog::reject();
}

std::vector<SamplerEntry> CSamplerWnd::Selected(SamplerEntry::Kind kind) const {
    std::vector<SamplerEntry> chosen;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        const auto index = static_cast<std::size_t>(row);
        if (list->topLevelItem(row)->isSelected() && index < entries.size() &&
            entries[index].kind == kind) {
            chosen.push_back(entries[index]);
        }
    }
    return chosen;
}

void CSamplerWnd::ShowEntries() {
    const ProgramNamesInSampler names(host.OpenProgram(), SamplerModel::Family(host.Model()));
    const QLocale locale;
    list->clear();
    for (const SamplerEntry& entry : entries) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(kindColumn, entry.kind == SamplerEntry::Kind::program
                                      ? QStringLiteral("Program")
                                      : QStringLiteral("Sample"));
        item->setText(numberColumn, QString::number(entry.number));
        item->setText(sentAsColumn, Text(entry.SentAsText()));
        item->setText(nameColumn, Text(EscapedDumpText(entry.name)));
        if (entry.words) {
            item->setText(sizeColumn, locale.toString(static_cast<qulonglong>(*entry.words)));
        }
        if (entry.rate) {
            item->setText(rateColumn, locale.toString(static_cast<qulonglong>(*entry.rate)));
        }
        item->setTextAlignment(numberColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(sizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(rateColumn, Qt::AlignRight | Qt::AlignVCenter);
        if (names.Matches(entry)) {
            item->setText(markColumn, QStringLiteral("yes"));
            QFont bold = item->font(nameColumn);
            bold.setBold(true);
            item->setFont(nameColumn, bold);
            item->setFont(markColumn, bold);
        }
    }
    for (int column = kindColumn; column < markColumn; ++column) {
        list->resizeColumnToContents(column);
    }
    UpdateButtons();
}

void CSamplerWnd::UpdateButtons() {
    const bool idle = !busy;
    refreshButton->setEnabled(idle);
    getButton->setEnabled(idle && !Selected(SamplerEntry::Kind::sample).empty());
    getProgramButton->setEnabled(idle && Selected(SamplerEntry::Kind::program).size() == 1);
    deleteButton->setEnabled(idle && librarian && librarian->CanDelete() &&
                             !list->selectedItems().isEmpty());
    deleteButton->setVisible(!librarian || librarian->CanDelete());
    cancelButton->setEnabled(busy);
    bar->setEnabled(busy);
    if (!busy) {
        bar->setRange(0, 1);
        bar->setValue(0);
    }
}

bool CSamplerWnd::Begin() {
    if (!librarian) {
        librarian = host.Connect();
        if (!librarian) {
            status->setText(QStringLiteral("Not connected to the sampler."));
            return false;
        }
    }
    busy = true;
    cancelled = false;
    bar->setRange(0, 0);
    status->setText(QStringLiteral("Asking the sampler..."));
    UpdateButtons();
    return true;
}

void CSamplerWnd::End(const std::string& text) {
    busy = false;
    status->setText(Text(text));
    UpdateButtons();
    if (std::exchange(closeWhenIdle, false)) {
        failed = false; // the user closed the window: the task's ending is no news to them
        reject();
        return;
    }
    // A task that failed also says so in a box, once the window shows how it ended.
    if (failed) {
        failed = false;
        host.Messages().Show(text, program::appCaption);
    }
}

std::string CSamplerWnd::Ending(const LibrarianResult& result, const std::string& what) {
    if (result.outcome == LibrarianResult::Outcome::cancelled) {
        return "Cancelled: " + what + ".";
    }
    failed = true;
    const std::string text = result.text.empty() ? "The sampler did not answer." : result.text;
    return what.empty() ? text : text + " (" + what + ")";
}

} // namespace velomire::transfer
