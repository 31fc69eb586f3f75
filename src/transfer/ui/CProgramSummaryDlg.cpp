#include "transfer/ui/CProgramSummaryDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace velomire::transfer {
namespace {

// Wide enough for the longest figure, "999.99 Ko" or "9999min 59sec", with room to spare.
constexpr const char* widestFigure = "99999min 59sec";

QLineEdit* AddFigure(QGridLayout* grid, int row, const char* label, const std::string& text,
                     Qt::Alignment alignment, const QString& objectName) {
    auto* field = new QLineEdit(QString::fromStdString(text));
    field->setObjectName(objectName);
    field->setReadOnly(true);
    field->setAlignment(alignment);
    field->setFocusPolicy(Qt::NoFocus);
    const int width = field->fontMetrics().horizontalAdvance(QString::fromLatin1(widestFigure));
    field->setMinimumWidth(width);
    auto* caption = new QLabel(QString::fromLatin1(label));
    caption->setBuddy(field);
    grid->addWidget(caption, row, 0);
    grid->addWidget(field, row, 1);
    return field;
}

} // namespace

CProgramSummaryDlg::CProgramSummaryDlg(const ProgramSummary& summary, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Program Summary"));

    auto* grid = new QGridLayout;
    AddFigure(grid, 0, "Number of Samples", summary.SampleText(), Qt::AlignCenter,
              QStringLiteral("samplesField"));
    AddFigure(grid, 1, "Memory needed", summary.MemoryText(), Qt::AlignRight | Qt::AlignVCenter,
              QStringLiteral("memoryField"));
    AddFigure(grid, 2, "Estimated transfer time", summary.TimeText(), Qt::AlignCenter,
              QStringLiteral("timeField"));
    // Where the program goes, so that a wrong port is seen before anything is sent.
    QLineEdit* outField =
        AddFigure(grid, 3, "Midi Out device", summary.outPort, Qt::AlignLeft | Qt::AlignVCenter,
                  QStringLiteral("midiOutField"));
    QLineEdit* inField =
        AddFigure(grid, 4, "Midi In device",
                  summary.inPort.empty() ? std::string("None (one-way)") : summary.inPort,
                  Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("midiInField"));
    for (QLineEdit* field : {outField, inField}) {
        const QFontMetrics metrics = field->fontMetrics();
        const int wanted =
            metrics.horizontalAdvance(field->text()) + 2 * metrics.averageCharWidth();
        field->setMinimumWidth(
            std::clamp(wanted, field->minimumWidth(), 48 * metrics.averageCharWidth()));
        field->setCursorPosition(0);
    }

    // Samples the sampler would play off pitch, each named before anything is sent.
    auto* offPitch = new QLabel;
    offPitch->setObjectName(QStringLiteral("offPitchWarning"));
    offPitch->setWordWrap(true);
    offPitch->setTextInteractionFlags(Qt::TextSelectableByMouse);
    offPitch->setMaximumWidth(60 * offPitch->fontMetrics().averageCharWidth());
    QString text;
    for (const std::string& line : summary.offPitch) {
        text += QStringLiteral("\n") + QString::fromStdString(line);
    }
    offPitch->setText(
        QStringLiteral("Off pitch on the sampler (Add Samples proposes converting such files):") +
        text);
    offPitch->setVisible(!summary.offPitch.empty());

    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    auto* send = new QPushButton(QStringLiteral("Send"));
    send->setObjectName(QStringLiteral("sendButton"));
    send->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(send, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(send);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(offPitch);
    layout->addSpacing(layout->spacing());
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    send->setFocus();
}

} // namespace velomire::transfer
