// The Import instrument dialog: the list of a file's instruments and the report of the one
// selected.

#include "instrument/ui/ImportInstrumentDlg.h"

#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using velomire::instrument::ImportInstrumentDlg;

class ImportInstrumentDlgTest : public QObject {
    Q_OBJECT

private slots:
    void TheReportFollowsTheInstrumentSelectedEachMappedOnce() {
        QList<int> asked;
        const auto reportFor = [&asked](int index) {
            asked << index;
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
        QVERIFY(report->toPlainText().startsWith(QStringLiteral("carried: row 1")));
        list->setCurrentRow(1);
        QCOMPARE(dialog.Selected(), 1);
        QVERIFY(report->toPlainText().startsWith(QStringLiteral("carried: row 2")));
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
        QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("report"))->toPlainText(),
                 QStringLiteral("carried: 1"));
    }
};

QTEST_MAIN(ImportInstrumentDlgTest)
#include "ImportInstrumentDlgTest.moc"
