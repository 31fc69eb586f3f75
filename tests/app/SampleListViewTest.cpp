// The sample list driven with the mouse and the keyboard over a document holding four rows.

#include "app/CVelomireDoc.h"
#include "app/CVelomireView.h"
#include "support/FakeFileDialogs.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"
#include "transfer/ui/QtSettingsStore.h"
#include "ui/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using velomire::app::CVelomireDoc;
using velomire::app::CVelomireView;
using velomire::program::SampleEntry;
using velomire::program::SetFieldText;
using velomire::testing::FakeFileDialogs;
using velomire::testing::RecordingMessages;
using velomire::transfer::QtSettingsStore;

class SampleListViewTest : public QObject {
    Q_OBJECT

private:
    // Rows: tone (mono, out 5), pad (stereo, out 4, looping), kick (stereo, odd out 5, no
    // looping but a loop count), zap (left, loop until release).
    void FillProgram() {
        auto& program = doc->GetProgram();
        program.programCreated = true;
        struct Row {
            const char* name;
            std::int16_t sendMode, output, loopMode, loopCount, low, root, high;
        };
        const Row rows[] = {{"tone", 0, 5, 2, 0, 24, 60, 59},
                            {"pad", 3, 4, 0, 1, 60, 72, 83},
                            {"kick", 3, 5, 2, 3, 36, 36, 36},
                            {"zap", 1, 7, 1, 2, 84, 96, 127}};
        program.sampleCount = 0;
        for (const Row& r : rows) {
            SampleEntry& e = program.samples[static_cast<std::size_t>(program.sampleCount++)];
            e = SampleEntry{};
            SetFieldText(e.sample.sampleName, r.name);
            e.sample.sendMode = r.sendMode;
            e.sample.sampleRate = 44100;
            e.sample.bits = 16;
            e.sample.lengthWords = 1000;
            e.sample.loopMode = r.loopMode;
            e.sample.loopCount = r.loopCount;
            e.sample.rootKey = r.root;
            e.keygroup.lowKey = r.low;
            e.keygroup.highKey = r.high;
            e.keygroup.output = r.output;
        }
        doc->UpdateAllViews();
    }

    QString Cell(int row, int column) const {
        return view->model()->index(row, column).data().toString();
    }

    QPoint CellCentre(int row, int column) const {
        return view->visualRect(view->model()->index(row, column)).center();
    }

    QList<int> SelectedRows() const {
        QList<int> rows;
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
            rows << index.row();
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    std::unique_ptr<QtSettingsStore> store;
    RecordingMessages messages;
    FakeFileDialogs dialogs;
    std::unique_ptr<CVelomireDoc> doc;
    std::unique_ptr<QWidget> window;
    CVelomireView* view = nullptr;

private slots:
    void init() {
        store = std::make_unique<QtSettingsStore>();
        messages = {};
        doc =
            std::make_unique<CVelomireDoc>(*store, messages, dialogs, velomire::app::AppServices{});
        window = std::make_unique<QWidget>();
        view = new CVelomireView(*doc, window.get());
        view->resize(640, 300);
        doc->OnNewDocument();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup() {
        window.reset();
        doc.reset();
    }

    void TheListIsDisabledUntilThereIsAProgramAndSaysWhatToDoFirst() {
        QVERIFY(!view->isEnabled());
        QCOMPARE(view->model()->rowCount(), 0);
        QVERIFY(view->EmptyHint().contains(QStringLiteral("New program")));
        FillProgram();
        QVERIFY(view->isEnabled());
        QCOMPARE(view->model()->rowCount(), 4);
        QVERIFY(view->EmptyHint().isEmpty());
    }

    // The titles, widths and cell texts are SampleListCells' (its own test); here that the view
    // shows them.
    void ColumnsHaveTheirTitlesAndAtLeastTheirWidths() {
        QCOMPARE(view->model()->columnCount(), 10);
        QCOMPARE(view->model()->headerData(9, Qt::Horizontal).toString(), QStringLiteral("Out"));
        QVERIFY(view->columnWidth(0) >= 80);
        QVERIFY(view->columnWidth(4) >= 60);
        QCOMPARE(view->palette().color(QPalette::Base), QColor(0, 0, 255));
        QCOMPARE(view->palette().color(QPalette::Text), QColor(255, 255, 0));
    }

    // What each cell says is SampleListCells'; here the cells reach the view in their columns.
    void CellsShowOutputsAndLoopsAsTheSamplerUsesThem() {
        FillProgram();
        QCOMPARE(Cell(0, 0), QStringLiteral("tone"));
        QCOMPARE(Cell(0, 8), QStringLiteral("B2"));
        QCOMPARE(Cell(1, 9), QStringLiteral("5-6"));
        doc->Settings().samplerModel = 2; // the S950 plays every row on all voices
        doc->UpdateAllViews();
        QCOMPARE(Cell(1, 9), QStringLiteral("All"));
        QCOMPARE(view->model()->index(0, 4).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignRight);
    }

    void RenamingChangesOnlyTheLabelAndMarksTheDocument() {
        FillProgram();
        doc->Settings().samplerModel = 5; // an S3000
        view->setFocus();
        view->setCurrentIndex(view->model()->index(1, 0));
        QTest::keyClick(view, Qt::Key_F2);
        auto* editor = view->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Warm Pad With A Long Tail"));
        // The editor takes what the field holds and says what the sampler shows of it.
        QCOMPARE(editor->text(), QStringLiteral("Warm Pad With A Lon"));
        QVERIFY(editor->toolTip().contains(QStringLiteral("S3000 shows the first 12")));
        QTest::keyClick(editor, Qt::Key_Return);
        const auto& program = doc->GetProgram();
        // The delegate commits from the event loop.
        QTRY_COMPARE(QString::fromStdString(
                         velomire::program::FieldText(program.samples[1].sample.sampleName)),
                     QStringLiteral("Warm Pad With A Lon"));
        QCOMPARE(Cell(1, 0), QStringLiteral("Warm Pad With A Lon"));
        QCOMPARE(Cell(0, 0), QStringLiteral("tone"));
        QVERIFY(doc->IsModified()); // a rename is saved like any change
    }

    void RightClickFocusesTheRowAndItsMenuEditsThatRow() {
        FillProgram();
        QList<int> editedRows;
        view->SetSampleEditor([&](QWidget*, SampleEntry& e) {
            editedRows << (e.sample.sampleName[0] == 'k' ? 2 : -1);
            e.keygroup.lowKey = 40;
        });
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(0, 2));
        QCOMPARE(SelectedRows(), QList<int>{0});

        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, CellCentre(2, 3));
        QCOMPARE(view->currentIndex().row(), 2);
        QCOMPARE(SelectedRows(), (QList<int>{0, 2})); // the earlier selection stays
        QMenu* menu = view->ContextMenu();
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->title(), QStringLiteral("Samples"));
        QCOMPARE(menu->actions().size(), 4);
        QCOMPARE(menu->actions()[0]->data().toInt(), velomire::app::command::sampleParameters);
        QCOMPARE(menu->actions()[1]->data().toInt(), velomire::app::command::sampleLoopsEditor);
        QCOMPARE(menu->actions()[3], view->RemoveAction());
        menu->actions()[0]->trigger();
        menu->close();

        QCOMPARE(editedRows, QList<int>{2});
        QCOMPARE(doc->GetProgram().samples[2].keygroup.lowKey, std::int16_t{40});
        QVERIFY(doc->IsModified());
        // Rebuilt, with the edited row selected and focused again.
        QCOMPARE(view->CurrentItem(), 2);
        QCOMPARE(view->currentIndex().row(), 2);
        QCOMPARE(SelectedRows(), QList<int>{2});

        // A right click away from the rows opens nothing.
        menu->hide();
        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          QPoint(10, view->viewport()->height() - 5));
        QVERIFY(!menu->isVisible());
    }

    void CommandsWorkOnTheFocusedRowNotTheSelection() {
        FillProgram();
        int calls = 0;
        view->SetSampleEditor([&](QWidget*, SampleEntry&) { ++calls; });
        view->ParametersAction()->trigger(); // no focused row yet: nothing
        QCOMPARE(calls, 0);
        QVERIFY(!doc->IsModified());

        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(3, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, CellCentre(1, 1));
        QCOMPARE(SelectedRows(), (QList<int>{1, 3}));
        QCOMPARE(view->currentIndex().row(), 1);
        view->ParametersAction()->trigger();
        QCOMPARE(calls, 1);
        QCOMPARE(view->CurrentItem(), 1);
    }

    void LoopsEditorUsesTheDefaultOutputWhenNoneIsChosenAndKeepsTheKeygroup() {
        FillProgram();
        doc->SetModifiedFlag(false);
        int device = -2;
        view->SetLoopEditor([&](QWidget*, SampleEntry& e, int waveOutDevice) {
            device = waveOutDevice;
            e.sample.loopCount = 4;
            e.keygroup.highKey = 30;
        });
        view->setCurrentIndex(view->model()->index(3, 0));
        view->LoopsEditorAction()->trigger();
        QVERIFY(messages.messages.empty());
        QCOMPARE(device, -1); // the system's default output
        QCOMPARE(doc->GetProgram().samples[3].sample.loopCount, std::int16_t{4});
        QCOMPARE(doc->GetProgram().samples[3].keygroup.highKey, std::int16_t{127});
        QCOMPARE(Cell(3, 5), QStringLiteral("4"));
        QVERIFY(doc->IsModified());
    }

    void KeysRemoveMoveAndOpenTheSelectedRows() {
        FillProgram();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        view->setFocus();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(1, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, CellCentre(3, 1));
        QTest::keyClick(view, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(Cell(0, 0) + Cell(1, 0) + Cell(2, 0) + Cell(3, 0),
                 QStringLiteral("padtonezapkick"));
        QCOMPARE(SelectedRows(), (QList<int>{0, 2})); // the moved rows stay selected
        QVERIFY(!view->MoveUpAction()->isEnabled());
        QCOMPARE(view->MapKeysRows(), (std::vector<int>{0, 2}));
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(Cell(0, 0) + Cell(1, 0), QStringLiteral("tonekick"));
        QCOMPARE(doc->UndoStack().undoText(), QStringLiteral("Remove"));
        // Nothing stays selected, and Map keys goes back to every row.
        QVERIFY(SelectedRows().isEmpty());
        QVERIFY(view->MapKeysRows().empty());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(1, 1));
        QVERIFY(view->MapKeysRows().empty()); // one row selected: still all rows

        int calls = 0;
        view->SetSampleEditor([&](QWidget*, SampleEntry&) { ++calls; });
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(calls, 1);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CellCentre(1, 2));
        QCOMPARE(calls, 2);
        QCOMPARE(view->CurrentItem(), 1);
    }

    void SoundFilesDroppedOnTheListAreAddedAndProgramFilesLeftToTheWindow() {
        FillProgram();
        QTemporaryDir dir;
        const QString startDirectory = QDir::currentPath();
        doc->GetProgram().programDirectory = QFile::encodeName(dir.path()).toStdString();
        QDir::setCurrent(dir.path());
        velomire::testing::WriteFile(
            QFile::encodeName(dir.filePath(QStringLiteral("Pad_C3.wav"))).toStdString(),
            velomire::testing::WavBuilder::Canonical(1, 44100, 16, std::vector<std::int16_t>(64)));

        const auto drop = [this](const QString& file) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(file)});
            const QPoint at = view->viewport()->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &enter);
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &drop);
            return enter.isAccepted();
        };
        QVERIFY(drop(dir.filePath(QStringLiteral("Pad_C3.wav"))));
        QCOMPARE(view->model()->rowCount(), 5);
        QCOMPARE(Cell(4, 0), QStringLiteral("Pad_C3"));
        QVERIFY(!drop(dir.filePath(QStringLiteral("Other.vmp"))));
        QCOMPARE(view->model()->rowCount(), 5);
        QDir::setCurrent(startDirectory);
    }

    void TypingTTurnsOnTraceModeAndStillSearchesTheList() {
        FillProgram();
        view->setFocus();
        QTest::keyClick(view, 'p');
        QVERIFY(messages.messages.empty());
        QCOMPARE(view->currentIndex().row(), 1); // "pad"
        QCOMPARE(doc->GetProgram().traceMode, 0);

        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClick(view, 'T');
        QCOMPARE(doc->GetProgram().traceMode, 1);
        QCOMPARE(messages.messages.size(), 1u);
        QCOMPARE(messages.messages[0].text, std::string("Trace mode activated"));
        QCOMPARE(view->currentIndex().row(), 0); // "tone"

        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClick(view, 't');
        QCOMPARE(messages.messages.size(), 2u);
    }
};

QTEST_MAIN(SampleListViewTest)
#include "SampleListViewTest.moc"
