#include "transfer/ui/CProgramNumberDlg.h"

#include "transfer/ProgramSummary.h"
#include "transfer/SamplerSettings.h"
#include "ui/OkButtonRow.h"

#include <QAbstractSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <functional>

namespace velomire::transfer {

// A field with its spin arrows. The arrows do not step the text: they report the direction and
// the dialog shows its new stored value.
class CProgramNumberDlg::NumberSpin : public QAbstractSpinBox {
public:
    explicit NumberSpin(std::function<void(bool up)> stepped) : stepped(std::move(stepped)) {
        setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        setAccelerated(false);
        // Five digits and the arrows.
        setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000")) +
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent) * 2);
    }

    void stepBy(int steps) override {
        if (steps != 0) {
            stepped(steps > 0);
        }
    }

    void ShowNumber(std::int32_t value) { lineEdit()->setText(QString::number(value)); }
    QLineEdit* Line() const { return lineEdit(); }
    void SelectText() { lineEdit()->selectAll(); }

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

private:
    std::function<void(bool up)> stepped;
};

CProgramNumberDlg::~CProgramNumberDlg() = default;

CProgramNumberDlg::CProgramNumberDlg(const SendNumbers& numbers, program::UserMessages& messages,
                                     QWidget* parent)
    : QDialog(parent), messages(messages), numbers(numbers) {
    setWindowTitle(QStringLiteral("Program and Sample number"));

    auto* text = new QLabel(QStringLiteral("Please enter below the number of programs and samples "
                                           "already loaded in your sampler."));
    text->setWordWrap(true);
    // Where the proposal comes from: a first send, or where the last send to this model ended.
    auto* origin = new QLabel(QString::fromStdString(numbers.origin));
    origin->setObjectName(QStringLiteral("originLabel"));
    origin->setWordWrap(true);
    origin->setVisible(!numbers.origin.empty());

    programsSpin = new NumberSpin([this](bool up) {
        this->numbers.programs = SpinNumber(this->numbers.programs, up, this->numbers.programLimit);
        programsSpin->ShowNumber(this->numbers.programs);
    });
    programsSpin->setObjectName(QStringLiteral("programsSpin"));
    samplesSpin = new NumberSpin([this](bool up) {
        this->numbers.samples = SpinNumber(this->numbers.samples, up, this->numbers.sampleLimit);
        samplesSpin->ShowNumber(this->numbers.samples);
    });
    samplesSpin->setObjectName(QStringLiteral("samplesSpin"));

    // What the numbers shown would overwrite, when the sampler said what it holds.
    warning = new QLabel;
    warning->setObjectName(QStringLiteral("overwriteWarning"));
    warning->setWordWrap(true);
    warning->setVisible(false);
    connect(programsSpin->Line(), &QLineEdit::textChanged, this, &CProgramNumberDlg::UpdateWarning);
    connect(samplesSpin->Line(), &QLineEdit::textChanged, this, &CProgramNumberDlg::UpdateWarning);

    auto* programsLabel = new QLabel(QStringLiteral("Programs :"));
    programsLabel->setBuddy(programsSpin);
    auto* samplesLabel = new QLabel(QStringLiteral("Samples :"));
    samplesLabel->setBuddy(samplesSpin);
    auto* grid = new QGridLayout;
    grid->addWidget(programsLabel, 0, 0);
    grid->addWidget(programsSpin, 0, 1);
    grid->addWidget(samplesLabel, 1, 0);
    grid->addWidget(samplesSpin, 1, 1);
    grid->setColumnStretch(2, 1);

    // Cancel, Esc and the window's close button end the command before anything is sent.
    auto* buttons = app::OkButtonRow(app::MakeOkButton(*this));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(origin);
    layout->addSpacing(layout->spacing());
    layout->addLayout(grid);
    layout->addWidget(warning);
    layout->addSpacing(layout->spacing());
    layout->addLayout(buttons);
    programsSpin->ShowNumber(numbers.programs);
    samplesSpin->ShowNumber(numbers.samples);

    // The text wraps at a width that keeps it to two or three lines.
    const int textWidth = fontMetrics().averageCharWidth() * 48;
    text->setMinimumWidth(textWidth);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    programsSpin->setFocus();
}

bool CProgramNumberDlg::ReadField(NumberSpin* spin, std::int32_t& value) {
    const auto number = ParseDecimal(spin->text().toStdString());
    if (!number) {
        messages.Show("Please enter an integer.", program::appCaption);
        spin->setFocus();
        spin->SelectText();
        return false;
    }
    value = *number;
    return true;
}

void CProgramNumberDlg::UpdateWarning() {
    SendNumbers shown = numbers;
    if (const auto typed = ParseDecimal(programsSpin->text().toStdString())) {
        shown.programs = *typed;
    }
    if (const auto typed = ParseDecimal(samplesSpin->text().toStdString())) {
        shown.samples = *typed;
    }
    const std::string text = shown.Warning();
    warning->setText(QString::fromStdString(text));
    warning->setVisible(!text.empty());
}

void CProgramNumberDlg::accept() {
    if (!ReadField(programsSpin, numbers.programs) || !ReadField(samplesSpin, numbers.samples)) {
        return;
    }
    QDialog::accept();
}

} // namespace velomire::transfer
