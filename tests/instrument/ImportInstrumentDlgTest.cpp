// The Import instrument dialog: the list of a file's instruments and the report of the one
// selected.

#include "instrument/ui/ImportInstrumentDlg.h"

#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

using velomire::instrument::ImportInstrumentDlg;

class ImportInstrumentDlgTest : public QObject {
    Q_OBJECT

private slots:
    void TheReportFollowsTheInstrumentSelectedEachMappedOnce() {
        QList<int> asked;
        const auto reportFor = [&asked](int index) {
            asked << index; // one call at a time
            return QStringList{
                QStringLiteral("carried: row %1: keys C1-B2, velocity 0-127, root C2")
                    .arg(index + 1),
                QStringLiteral("dropped: the instrument's release trigger")};
        };
        ImportInstrumentDlg dialog(
            QStringLiteral("Strings.sf2"), QStringLiteral("Akai S3000"),
            {QStringLiteral("0: Violins (bank 0)"), QStringLiteral("1: Cellos (bank 0)")},
            reportFor);
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("instrumentList"));
        auto* report = dialog.findChild<QPlainTextEdit*>(QStringLiteral("report"));
        QVERIFY(list && report);
        QVERIFY(!list->isHidden());
        QCOMPARE(dialog.Selected(), 0);
        QTRY_VERIFY(report->toPlainText().startsWith(QStringLiteral("carried: row 1")));
        list->setCurrentRow(1);
        QCOMPARE(dialog.Selected(), 1);
        QTRY_VERIFY(report->toPlainText().startsWith(QStringLiteral("carried: row 2")));
        QCOMPARE(asked, (QList<int>{0, 1}));

        // The screenshot script keeps a picture of it (VELOMIRE_SCREENSHOT_DIR).
        const QString pictures = qEnvironmentVariable("VELOMIRE_SCREENSHOT_DIR");
        if (!pictures.isEmpty()) {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QVERIFY(dialog.grab().save(QDir(pictures).filePath("import-instrument.png")));
        }
        dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void OneInstrumentShowsNoList() {
        ImportInstrumentDlg dialog(QStringLiteral("Hum.sfz"), QStringLiteral("Akai S950"),
                                   {QStringLiteral("0: Hum")},
                                   [](int) { return QStringList{QStringLiteral("carried: 1")}; });
        QVERIFY(dialog.findChild<QListWidget*>(QStringLiteral("instrumentList"))->isHidden());
        QTRY_COMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("report"))->toPlainText(),
                     QStringLiteral("carried: 1"));
    }

    // A file that takes long to read (a large SoundFont bank) is read beside the window: the
    // window goes on, OK waits for the report of what is selected, a selection made meanwhile
    // is read next, and Cancel returns only once the reading has returned.
    void ReadingALargeFileLeavesTheWindowAliveAndCancelWaitsForIt() {
        std::promise<void> release;
        const std::shared_future<void> released = release.get_future().share();
        std::mutex lock;
        QList<int> asked;
        std::atomic<bool> reading = false;
        const auto reportFor = [&](int index) {
            {
                const std::lock_guard hold(lock);
                asked << index;
            }
            reading = true;
            released.wait_for(std::chrono::seconds(10));
            reading = false;
            return QStringList{QStringLiteral("carried: instrument %1").arg(index)};
        };
        ImportInstrumentDlg dialog(
            QStringLiteral("Bank.sf2"), QStringLiteral("Akai S3000"),
            {QStringLiteral("0: Piano"), QStringLiteral("1: Organ"), QStringLiteral("2: Bass")},
            reportFor);
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("instrumentList"));
        auto* report = dialog.findChild<QPlainTextEdit*>(QStringLiteral("report"));
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("okButton"));
        QTRY_VERIFY(reading);
        QCOMPARE(report->toPlainText(), QStringLiteral("Reading the instrument..."));
        QVERIFY(!ok->isEnabled());
        bool ticked = false;
        QTimer::singleShot(10, [&ticked] { ticked = true; });
        QTRY_VERIFY(ticked); // the window's own events go on meanwhile

        list->setCurrentRow(1);
        list->setCurrentRow(2); // only the last one waits its turn
        release.set_value();
        QTRY_COMPARE(report->toPlainText(), QStringLiteral("carried: instrument 2"));
        QVERIFY(ok->isEnabled());
        {
            const std::lock_guard hold(lock);
            QCOMPARE(asked, (QList<int>{0, 2}));
        }
    }

    void CancelWhileReadingReturnsOnlyOnceTheReadingHasReturned() {
        std::atomic<bool> reading = false;
        std::atomic<bool> returned = false;
        const auto reportFor = [&](int) {
            reading = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            returned = true;
            return QStringList{QStringLiteral("carried")};
        };
        ImportInstrumentDlg dialog(QStringLiteral("Hum.sfz"), QStringLiteral("Akai S950"),
                                   {QStringLiteral("0: Hum")}, reportFor);
        QTRY_VERIFY(reading);
        dialog.reject();
        QVERIFY(returned);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(ImportInstrumentDlgTest)
#include "ImportInstrumentDlgTest.moc"
