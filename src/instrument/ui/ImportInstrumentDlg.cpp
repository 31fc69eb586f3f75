#include "instrument/ui/ImportInstrumentDlg.h"

#include "ui/OkButtonRow.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

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
    QPushButton* ok = app::MakeOkButton(*this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(list, &QListWidget::currentRowChanged, this, &ImportInstrumentDlg::ShowReport);
    ShowReport();
    resize(640, 480);
}

int ImportInstrumentDlg::Selected() const {
    return std::max(list->currentRow(), 0);
}

void ImportInstrumentDlg::ShowReport() {
    report->setPlainText(reportFor ? reportFor(Selected()).join(QLatin1Char('\n')) : QString());
}

} // namespace velomire::instrument
