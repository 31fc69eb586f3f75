#include "instrument/ui/ImportInstrumentDlg.h"

#include "ui/OkButtonRow.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <utility>

namespace velomire::instrument {

ImportInstrumentDlg::ImportInstrumentDlg(const QString& fileName, const QString& modelName,
                                         const QStringList& names,
                                         std::function<QStringList(int)> reportFor, QWidget* parent)
    : QDialog(parent), reportFor(std::move(reportFor)) {
    setWindowTitle(QStringLiteral("Import instrument"));
    auto* layout = new QVBoxLayout(this);

    auto* listLabel = new QLabel(QStringLiteral("Instruments in %1:").arg(fileName), this);
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("instrumentList"));
    list->addItems(names);
    list->setCurrentRow(0);
    layout->addWidget(listLabel);
    layout->addWidget(list);
    if (names.size() <= 1) {
        listLabel->hide();
        list->hide();
    }

    layout->addWidget(new QLabel(
        QStringLiteral("What it becomes on the %1 (nothing is written before OK):").arg(modelName),
        this));
    report = new QPlainTextEdit(this);
    report->setObjectName(QStringLiteral("report"));
    report->setReadOnly(true);
    report->setLineWrapMode(QPlainTextEdit::NoWrap);
    report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(report, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    ok = app::MakeOkButton(*this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(list, &QListWidget::currentRowChanged, this, &ImportInstrumentDlg::ShowReport);
    ShowReport();
    resize(640, 480);
}

ImportInstrumentDlg::~ImportInstrumentDlg() {
    WaitForReport();
}

int ImportInstrumentDlg::Selected() const {
    return std::max(list->currentRow(), 0);
}

void ImportInstrumentDlg::done(int result) {
    WaitForReport();
    QDialog::done(result);
}

void ImportInstrumentDlg::ShowReport() {
    ok->setEnabled(false);
    if (worker == nullptr) { // else the call under way starts the next when it returns
        StartReport();
    }
}

void ImportInstrumentDlg::StartReport() {
    const int index = Selected();
    if (!reportFor) {
        report->clear();
        ok->setEnabled(true);
        return;
    }
    report->setPlainText(QStringLiteral("Reading the instrument..."));
    auto lines = std::make_shared<QStringList>();
    worker = QThread::create([call = reportFor, index, lines] { *lines = call(index); });
    connect(worker, &QThread::finished, this, [this, thread = worker, index, lines] {
        if (worker != thread) { // already taken care of by WaitForReport
            return;
        }
        worker->deleteLater();
        worker = nullptr;
        if (closing) {
            return;
        }
        if (Selected() != index) {
            StartReport();
            return;
        }
        report->setPlainText(lines->join(QLatin1Char('\n')));
        ok->setEnabled(true);
    });
    worker->start();
}

// Keeps the window's events going (never a frozen window) until the call under way returns.
void ImportInstrumentDlg::WaitForReport() {
    if (worker == nullptr) {
        return;
    }
    closing = true;
    setEnabled(false);
    if (!worker->isFinished()) {
        QEventLoop loop;
        connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (worker != nullptr) { // finished before its end was told here
        worker->wait();
        delete worker;
        worker = nullptr;
    }
}

} // namespace velomire::instrument
