#include "support/FakeLibrarian.h"
#include "support/RecordingMessages.h"
#include "transfer/ui/CSamplerWnd.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

using namespace velomire::transfer;
using velomire::testing::FakeLibrarian;
using velomire::testing::RecordingMessages;
using Kind = SamplerEntry::Kind;

namespace {

// The application's side, answering from fields and keeping what it was handed.
class FakeHost : public SamplerHost {
public:
    std::unique_ptr<Librarian> Connect() override {
        ++connects;
        return std::make_unique<FakeLibrarian>(librarian);
    }
    void Disconnect() override { ++disconnects; }
    const velomire::program::Program& OpenProgram() override { return program; }
    std::int32_t Model() override { return 8; } // S3000 XL
    std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path&) override {
        return "/music";
    }
    std::optional<std::filesystem::path> SaveSample(const DecodedSample& sample,
                                                    const std::filesystem::path&) override {
        saved.push_back(sample.number);
        if (onSave) {
            onSave();
        }
        return "x.wav";
    }
    bool MayReplaceProgram() override { return replace; }
    bool OpenTakenBack(const DecodedProgram& p, const std::vector<DecodedSample>& samples,
                       const std::filesystem::path&) override {
        opened.push_back(p.number);
        for (const auto& s : samples) {
            saved.push_back(s.number);
        }
        return true;
    }
    bool Ask(const std::string& question) override {
        questions.push_back(question);
        return yes;
    }
    velomire::program::UserMessages& Messages() override { return messages; }

    FakeLibrarian librarian;
    velomire::program::Program program;
    RecordingMessages messages;
    std::function<void()> onSave;
    bool replace = true;
    bool yes = true;
    int connects = 0;
    int disconnects = 0;
    std::vector<int> saved;
    std::vector<int> opened;
    std::vector<std::string> questions;
};

void Fill(FakeHost& host) {
    host.librarian.entries = {
        {Kind::program, 1, "BASS"}, {Kind::sample, 4, "BASS C1     "}, {Kind::sample, 5, "PAD"}};
    host.librarian.headers[4] = {88200, 44100};
    for (int n : {4, 5}) {
        host.librarian.samples[n].number = n;
    }
    host.librarian.programs[1].keygroups = {{{"zone1SampleName", std::string("BASS C1     ")}}};
    velomire::program::SetFieldText(host.program.samples[0].sample.sampleName, "bass c1");
    host.program.sampleCount = 1;
}

void Select(QTreeWidget* list, std::initializer_list<int> rows) {
    list->clearSelection();
    for (int row : rows) {
        list->topLevelItem(row)->setSelected(true);
    }
}

QPushButton* Button(QWidget& w, const char* name) {
    return w.findChild<QPushButton*>(QString::fromLatin1(name));
}

} // namespace

class SamplerWndTest : public QObject {
    Q_OBJECT

private slots:
    void listsMarksTheOpenProgramAndEnablesBySelection();
    void refreshOpensThePortsAgainAndSaysWhichNumbersItShows();
    void getWritesTheSelectedSamplesUntilCancel();
    void getProgramAsksFirstAndHandsOverWhatCameBack();
    void deleteAsksFirstAndListsAgain();
};

void SamplerWndTest::listsMarksTheOpenProgramAndEnablesBySelection() {
    FakeHost host;
    Fill(host);
    CSamplerWnd window(host);
    window.Refresh();
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("contentsList"));
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("BASS C1     "));
    QVERIFY(!list->topLevelItem(1)->text(4).isEmpty()); // the size, once the header was read
    QCOMPARE(list->topLevelItem(1)->text(6), QStringLiteral("yes"));
    QVERIFY(list->topLevelItem(2)->text(6).isEmpty());
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("statusLabel"))->text(),
             QStringLiteral("The sampler holds 1 program and 2 samples."));
    QVERIFY(Button(window, "deleteButton")->isHidden()); // this family cannot delete
    Select(list, {0});
    QVERIFY(!Button(window, "getButton")->isEnabled());
    QVERIFY(Button(window, "getProgramButton")->isEnabled());
    Select(list, {1, 2});
    QVERIFY(Button(window, "getButton")->isEnabled());
    QVERIFY(!Button(window, "getProgramButton")->isEnabled());
    window.reject();
    QCOMPARE(std::tie(host.connects, host.disconnects), std::tuple(1, 2));
}

void SamplerWndTest::refreshOpensThePortsAgainAndSaysWhichNumbersItShows() {
    FakeHost host;
    Fill(host);
    host.librarian.gone = true;
    CSamplerWnd window(host);
    window.Refresh();
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("contentsList"));
    QCOMPARE(list->topLevelItemCount(), 0);
    QVERIFY(list->isColumnHidden(2)); // numbers as a send gives them: no "Sent as"

    // The port came back: Refresh finds it.
    host.librarian.gone = false;
    host.librarian.byPosition = true;
    host.librarian.entries[0].sentAs = 1;
    window.Refresh();
    QCOMPARE(host.connects, 2);
    QCOMPARE(list->topLevelItemCount(), 3);
    QVERIFY(!list->isColumnHidden(2));
    QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("program#1"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("numberingLabel"))->text(),
             QStringLiteral("By place."));
}

void SamplerWndTest::getWritesTheSelectedSamplesUntilCancel() {
    FakeHost host;
    Fill(host);
    CSamplerWnd window(host);
    window.Refresh();
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("contentsList"));
    Select(list, {1, 2});
    window.GetSamples();
    QCOMPARE(host.saved, (std::vector<int>{4, 5}));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("statusLabel"))->text(),
             QStringLiteral("Got 2 samples into /music."));

    // What an SDS sample's file cannot say is said beside it.
    host.saved.clear();
    host.librarian.entries[2].name = "PAD-L";
    host.librarian.samples[5].family = SamplerFamily::sds;
    host.librarian.samples[5].fields = {{"sampleName", std::string("PAD-L")}};
    window.Refresh();
    Select(list, {2});
    window.GetSamples();
    QCOMPARE(host.saved, std::vector<int>{5});
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("statusLabel"))->text(),
             QStringLiteral("Got 1 sample into /music. Sample 5 \"PAD-L\": the left half of the "
                            "stereo pair \"PAD\"; an SDS dump carries no root key: the WAV file "
                            "says 60."));
    Select(list, {1, 2});

    host.saved.clear();
    host.onSave = [&] { Button(window, "cancelButton")->click(); };
    window.GetSamples();
    QCOMPARE(host.saved, std::vector<int>{4});
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("statusLabel"))->text(),
             QStringLiteral("Cancelled: 1 sample of 2 written."));
    QVERIFY(!window.Busy() && Button(window, "refreshButton")->isEnabled());

    // Close during a Get cancels it, and the window closes as soon as it has ended.
    host.saved.clear();
    const QSignalSpy closed(&window, &QDialog::rejected);
    host.onSave = [&] { window.reject(); };
    window.GetSamples();
    QCOMPARE(host.saved, std::vector<int>{4});
    QCOMPARE(closed.count(), 1);
    QVERIFY(host.messages.messages.empty());
}

void SamplerWndTest::getProgramAsksFirstAndHandsOverWhatCameBack() {
    FakeHost host;
    Fill(host);
    CSamplerWnd window(host);
    window.Refresh();
    Select(window.findChild<QTreeWidget*>(QStringLiteral("contentsList")), {0});
    host.replace = false; // the user kept the open program
    window.GetProgram();
    QVERIFY(host.opened.empty());
    host.replace = true;
    window.GetProgram();
    QCOMPARE(host.opened, std::vector<int>{0}); // the fake's program carries number 0
    QCOMPARE(host.saved, std::vector<int>{4});  // the sample its keygroup plays
}

void SamplerWndTest::deleteAsksFirstAndListsAgain() {
    FakeHost host;
    Fill(host);
    host.librarian.canDelete = true;
    CSamplerWnd window(host);
    window.Refresh();
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("contentsList"));
    Select(list, {2});
    host.yes = false;
    window.DeleteSelected();
    QCOMPARE(host.questions.back(),
             std::string("Delete sample 5 \"PAD\" from the sampler? This cannot be undone."));
    QCOMPARE(list->topLevelItemCount(), 3);
    host.yes = true;
    window.DeleteSelected();
    QCOMPARE(list->topLevelItemCount(), 2);
}

QTEST_MAIN(SamplerWndTest)
#include "SamplerWndTest.moc"
