#include "transfer/ui/COptionsDlg.h"

#include "transfer/SamplerModel.h"
#include "ui/OkButtonRow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velomire::transfer {
namespace {

// Device names can be long ("Midi Through:Midi Through Port-0 14:0"): the lists show this many
// characters and the drop-down shows the whole names.
constexpr int deviceListChars = 28;

QComboBox* MakeList(const std::vector<std::string>& names, std::int32_t selected,
                    const QString& objectName) {
    auto* list = new QComboBox;
    list->setObjectName(objectName);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(deviceListChars);
    for (const std::string& name : names) {
        list->addItem(QString::fromStdString(name));
    }
    // A stored index beyond the list selects nothing.
    list->setCurrentIndex(selected >= 0 && selected < list->count() ? selected : -1);
    return list;
}

QGroupBox* Group(const char* title, QLayout* content) {
    auto* group = new QGroupBox(QString::fromLatin1(title));
    group->setLayout(content);
    return group;
}

QString FieldName(OptionsForm::Field field) {
    static const char* const names[] = {
        "numberOfProgramsField", "numberOfSamplesField",  "polyphonyField", "audioOutputsField",
        "midiChannelField",      "exclusiveChannelField", "waitLimitField"};
    return QString::fromLatin1(names[field]);
}

} // namespace

COptionsDlg::~COptionsDlg() = default;

COptionsDlg::COptionsDlg(const SamplerSettings& settings,
                         const std::vector<std::string>& midiOutNames,
                         std::vector<std::string> midiInNames,
                         const std::vector<std::string>& waveOutNames,
                         program::UserMessages& messages, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      messages(messages), form(settings) {
    setWindowTitle(QStringLiteral("Options : Sampler and Midi"));

    midiOutList = MakeList(midiOutNames, form.MidiOutDevice(), QStringLiteral("midiOutList"));
    std::vector<std::string> midiInRows{"None (one-way)"};
    midiInRows.insert(midiInRows.end(), midiInNames.begin(), midiInNames.end());
    midiInList = MakeList(midiInRows, OptionsForm::MidiInRow(form.MidiInDevice()),
                          QStringLiteral("midiInList"));
    waveOutList = MakeList(waveOutNames, form.WaveOutDevice(), QStringLiteral("audioOutList"));
    std::vector<std::string> modelNames;
    for (const SamplerModelInfo& model : SamplerModel::All()) {
        modelNames.emplace_back(model.longName);
    }
    modelList = MakeList(modelNames, form.Model(), QStringLiteral("modelList"));
    modelList->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* midiOutLayout = new QVBoxLayout;
    midiOutLayout->addWidget(midiOutList);
    auto* midiInLayout = new QVBoxLayout;
    midiInLayout->addWidget(midiInList);
    auto* waitLayout = new QFormLayout;
    waitLayout->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    midiInLayout->addLayout(waitLayout);
    auto* waveOutLayout = new QVBoxLayout;
    waveOutLayout->addWidget(waveOutList);
    auto* devices = new QVBoxLayout;
    devices->addWidget(Group("Midi Out device", midiOutLayout));
    devices->addWidget(Group("Midi In device", midiInLayout));
    devices->addWidget(Group("Audio Out device", waveOutLayout));
    devices->addStretch();

    // Wide enough for "255" and a little more, as narrow as the numbers need.
    const int fieldWidth = fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                           fontMetrics().averageCharWidth() * 3;
    auto* fieldLayout = new QFormLayout;
    fieldLayout->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    for (int f = 0; f < OptionsForm::fieldCount; ++f) {
        const auto field = static_cast<OptionsForm::Field>(f);
        auto* edit = new QLineEdit;
        edit->setObjectName(FieldName(field));
        edit->setFixedWidth(fieldWidth);
        fields[static_cast<std::size_t>(f)] = edit;
        // The wait limit belongs to the answers coming back, not to the model.
        (field == OptionsForm::waitLimit ? waitLayout : fieldLayout)
            ->addRow(QString::fromLatin1(OptionsForm::Label(field).data(),
                                         static_cast<qsizetype>(OptionsForm::Label(field).size())),
                     edit);
    }
    auto* modelLayout = new QVBoxLayout;
    modelLayout->addWidget(modelList);
    modelLayout->addLayout(fieldLayout);

    auto* buttons = app::OkButtonRow(app::MakeOkButton(*this));

    auto* columns = new QHBoxLayout;
    columns->addLayout(devices);
    columns->addWidget(Group("Sampler Model", modelLayout));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowFields();
    // Connected after the stored model is shown, so opening the dialog proposes no defaults.
    connect(modelList, &QComboBox::currentIndexChanged, this, &COptionsDlg::OnModelChanged);
}

void COptionsDlg::OnModelChanged(int index) {
    form.PickModel(index);
    if (index >= 0) {
        ShowFields();
    }
}

void COptionsDlg::ShowFields() {
    for (int f = 0; f < OptionsForm::fieldCount; ++f) {
        fields[static_cast<std::size_t>(f)]->setText(
            QString::fromStdString(form.Text(static_cast<OptionsForm::Field>(f))));
    }
}

void COptionsDlg::accept() {
    std::array<std::string, OptionsForm::fieldCount> texts;
    for (std::size_t f = 0; f < texts.size(); ++f) {
        texts[f] = fields[f]->text().toStdString();
    }
    const auto refusal =
        form.Accept(modelList->currentIndex(), midiOutList->currentIndex(),
                    midiInList->currentIndex(), waveOutList->currentIndex(), texts);
    if (refusal) {
        messages.Show(refusal->message, program::appCaption);
        QLineEdit* field = fields[static_cast<std::size_t>(refusal->field)];
        field->setFocus();
        field->selectAll();
        return;
    }
    QDialog::accept();
}

} // namespace velomire::transfer
