#include "editing/ui/CSampleEditorDlg.h"

#include "editing/ui/KeyboardWidget.h"
#include "editing/ui/NoteSpinBox.h"
#include "ui/OkButtonRow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>
#include <string>
#include <vector>

namespace velomire::editing {

namespace {

void Fill(QComboBox& list, const std::vector<std::string>& texts, std::optional<int> selection) {
    list.clear();
    for (const std::string& text : texts) {
        list.addItem(QString::fromStdString(text));
    }
    // A stored value naming no entry selects nothing.
    list.setCurrentIndex(selection.value_or(-1));
}

QComboBox* MakeList(const QString& objectName) {
    auto* list = new QComboBox;
    list->setObjectName(objectName);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

NoteSpinBox* MakeBox(const QString& objectName) {
    auto* box = new NoteSpinBox;
    box->setObjectName(objectName);
    return box;
}

QGroupBox* Group(const char* title, QLayout* content) {
    auto* group = new QGroupBox(QString::fromLatin1(title));
    group->setLayout(content);
    return group;
}

// "Low" and its box, as one unit of the row under the keyboard.
QHBoxLayout* Labelled(const char* text, NoteSpinBox* box) {
    auto* label = new QLabel(QString::fromLatin1(text));
    label->setBuddy(box);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(box);
    return row;
}

} // namespace

CSampleEditorDlg::CSampleEditorDlg(program::SampleBlock& sample, program::KeygroupBlock& keygroup,
                                   std::int32_t samplerModel, QWidget* parent)
    : QDialog(parent), model(sample, keygroup, samplerModel), keyboard(new KeyboardWidget),
      lowBox(MakeBox(QStringLiteral("lowText"))), highBox(MakeBox(QStringLiteral("highText"))),
      pitchBox(MakeBox(QStringLiteral("pitchText"))),
      sendModeList(MakeList(QStringLiteral("sendModeList"))),
      outputList(MakeList(QStringLiteral("outputList"))) {
    setModal(true);
    setWindowTitle(QString::fromStdString(model.Caption()));
    keyboard->setObjectName(QStringLiteral("keyboard"));

    auto* keyRow = new QHBoxLayout;
    keyRow->addLayout(Labelled("Low", lowBox));
    keyRow->addStretch();
    keyRow->addLayout(Labelled("High", highBox));
    keyRow->addStretch();
    keyRow->addLayout(Labelled("Pitch", pitchBox));
    auto* keys = new QVBoxLayout;
    keys->addWidget(keyboard);
    keys->addLayout(keyRow);

    auto* sendModeLayout = new QVBoxLayout;
    sendModeLayout->addWidget(sendModeList);
    auto* outputLayout = new QVBoxLayout;
    outputLayout->addWidget(outputList);

    auto* ok = app::MakeOkButton(*this);

    auto* lower = new QHBoxLayout;
    lower->addWidget(Group("Audio send mode", sendModeLayout));
    lower->addWidget(Group("Audio output", outputLayout));
    lower->addStretch();
    lower->addWidget(ok, 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Group("Key range and Pitch", keys));
    layout->addLayout(lower);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowKeys();
    Fill(*sendModeList, model.SendModeTexts(), model.SendModeSelection());
    FillOutputList();
    outputList->setEnabled(model.OutputSent());

    // Only the user's picks change the blocks; filling the lists changes nothing.
    connect(sendModeList, &QComboBox::activated, this, &CSampleEditorDlg::OnSendModeChange);
    connect(outputList, &QComboBox::activated, this, &CSampleEditorDlg::OnOutputChange);
    connect(lowBox, &NoteSpinBox::stepped, this, &CSampleEditorDlg::OnLowSpin);
    connect(highBox, &NoteSpinBox::stepped, this, &CSampleEditorDlg::OnHighSpin);
    connect(pitchBox, &NoteSpinBox::stepped, this, &CSampleEditorDlg::OnPitchSpin);
    // A typed note is shown back as the name actually taken.
    connect(lowBox, &NoteSpinBox::typed, this, [this](int note) {
        model.TypeLowKey(note);
        ShowKeys();
    });
    connect(highBox, &NoteSpinBox::typed, this, [this](int note) {
        model.TypeHighKey(note);
        ShowKeys();
    });
    connect(pitchBox, &NoteSpinBox::typed, this, [this](int note) {
        model.TypePitch(note);
        ShowKeys();
    });
    connect(keyboard, &KeyboardWidget::lowKeyPicked, this, &CSampleEditorDlg::OnLowKeyPicked);
    connect(keyboard, &KeyboardWidget::highKeyPicked, this, &CSampleEditorDlg::OnHighKeyPicked);
}

void CSampleEditorDlg::OnSendModeChange(int index) {
    model.PickSendMode(index);
    FillOutputList();
}

void CSampleEditorDlg::OnOutputChange(int index) {
    model.PickOutput(index);
}

void CSampleEditorDlg::FillOutputList() {
    Fill(*outputList, model.OutputTexts(), model.OutputSelection());
}

void CSampleEditorDlg::OnLowSpin(Spin step) {
    model.LowSpin(step);
    ShowKeys();
}

void CSampleEditorDlg::OnHighSpin(Spin step) {
    model.HighSpin(step);
    ShowKeys();
}

void CSampleEditorDlg::OnPitchSpin(Spin step) {
    model.PitchSpin(step);
    ShowKeys();
}

void CSampleEditorDlg::OnLowKeyPicked(int note) {
    model.PickLowKey(note);
    ShowKeys();
}

void CSampleEditorDlg::OnHighKeyPicked(int note) {
    model.PickHighKey(note);
    ShowKeys();
}

void CSampleEditorDlg::ShowKeys() {
    lowBox->ShowText(model.LowText());
    highBox->ShowText(model.HighText());
    pitchBox->ShowText(model.PitchText());
    keyboard->ShowKeys(model.LowKey(), model.HighKey(), model.Pitch());
}

} // namespace velomire::editing
