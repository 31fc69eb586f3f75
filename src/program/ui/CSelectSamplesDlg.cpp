#include "program/ui/CSelectSamplesDlg.h"

#include "program/WavFileList.h"
#include "ui/OkButtonRow.h"
#include "ui/QtText.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <filesystem>

namespace velomire::program {
namespace {

// The file name as found on disk, which need not be valid UTF-8.
constexpr int fileNameRole = Qt::UserRole;

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QString Text(const std::string& text) {
    return QString::fromLocal8Bit(Bytes(text));
}

// A file name of 39 characters, the longest a sample entry holds, as a measure of width.
const char* const longestName = "drum_loop_ninety_bpm_take_three_fin.wav";

// A list wide enough for `widestLine` and tall enough for 16 lines; longer lines can be scrolled.
QListWidget* MakeList(const QString& objectName, const QString& widestLine) {
    auto* list = new QListWidget;
    list->setObjectName(objectName);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    const QFontMetrics metrics = list->fontMetrics();
    const int width = metrics.horizontalAdvance(widestLine) +
                      list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                      4 * list->frameWidth();
    list->setMinimumSize(width, metrics.lineSpacing() * 16);
    return list;
}

} // namespace

CSelectSamplesDlg::CSelectSamplesDlg(UserMessages& messages, std::filesystem::path programDirectory,
                                     std::function<int(const std::string&)> play, QWidget* parent)
    : QDialog(parent), messages(messages), play(std::move(play)),
      programDirectory(std::move(programDirectory)), wav(browsing) {
    setWindowTitle(QStringLiteral("Select Samples "));

    directoryLine = new QLineEdit;
    directoryLine->setObjectName(QStringLiteral("directoryLine"));
    directoryLine->setReadOnly(true);
    directoryLine->setToolTip(
        QStringLiteral("The folder listed; files of another folder than the program's are copied "
                       "into the program's directory on OK"));
    // Return in the field is no OK: it stays with the field.
    directoryLine->installEventFilter(this);
    auto* directoryLabel = new QLabel(QStringLiteral("Directory :"));
    directoryLabel->setBuddy(directoryLine);
    auto* browse = new QPushButton(QStringLiteral("Browse..."));
    browse->setObjectName(QStringLiteral("browseButton"));
    browse->setAutoDefault(false);
    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(directoryLabel);
    directoryRow->addWidget(directoryLine, 1);
    directoryRow->addWidget(browse);

    // Names of up to 39 characters; the right list adds the sample name.
    fileList = MakeList(QStringLiteral("fileList"), QString::fromLatin1(longestName));
    sampleList = MakeList(QStringLiteral("sampleList"),
                          QString::fromLatin1(longestName) + QStringLiteral(" [drum_loop_ni]"));

    auto* add = new QPushButton(QStringLiteral("> Add to list >"));
    add->setObjectName(QStringLiteral("addButton"));
    add->setAutoDefault(false);
    auto* remove = new QPushButton(QStringLiteral("< Remove <"));
    remove->setObjectName(QStringLiteral("removeButton"));
    remove->setAutoDefault(false);

    auto* informationLayout = new QVBoxLayout;
    for (std::size_t i = 0; i < informationLabels.size(); ++i) {
        auto* label = new QLabel;
        label->setObjectName(QStringLiteral("information%1").arg(i));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // One line even while empty, so the group keeps its height when a file is selected.
        label->setMinimumHeight(label->fontMetrics().lineSpacing());
        informationLayout->addWidget(label);
        informationLabels[i] = label;
    }
    // The file name may be longer than the group is wide: it is shortened to fit (Elide) instead
    // of widening the dialog.
    informationLabels[0]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    informationNote = new QLabel;
    informationNote->setObjectName(QStringLiteral("informationNote"));
    informationNote->setWordWrap(true);
    informationLayout->addWidget(informationNote);
    auto* informationGroup = new QGroupBox;
    informationGroup->setLayout(informationLayout);
    // Most names fit whole; "110250 Words" and "1.23e+003 Seconds" always do.
    informationGroup->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("bass_finger_pick_C1.wav")) +
        2 * informationLayout->contentsMargins().left());

    auto* middle = new QVBoxLayout;
    middle->addWidget(add);
    middle->addWidget(remove);
    middle->addSpacing(middle->spacing() * 2);
    middle->addWidget(informationGroup);
    middle->addStretch();

    auto* lists = new QHBoxLayout;
    lists->addWidget(fileList, 1);
    lists->addLayout(middle);
    lists->addWidget(sampleList, 1);

    longNamesNote = new QLabel;
    longNamesNote->setObjectName(QStringLiteral("longNamesNote"));
    longNamesNote->hide();
    auto* ok = app::MakeOkButton(*this);
    auto* bottom = app::OkButtonRow(ok, longNamesNote);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(directoryRow);
    layout->addLayout(lists, 1);
    layout->addLayout(bottom);

    connect(browse, &QPushButton::clicked, this, &CSelectSamplesDlg::OnBrowse);
    connect(add, &QPushButton::clicked, this, &CSelectSamplesDlg::OnAdd);
    connect(remove, &QPushButton::clicked, this, &CSelectSamplesDlg::OnRemove);
    connect(fileList, &QListWidget::itemSelectionChanged, this,
            &CSelectSamplesDlg::OnLeftSelectionChanged);
    connect(fileList, &QListWidget::itemDoubleClicked, this,
            &CSelectSamplesDlg::OnLeftDoubleClicked);
}

bool CSelectSamplesDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == directoryLine && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CSelectSamplesDlg::showEvent(QShowEvent* event) {
    // Shown by the program (each exec), not given back by the window system after minimising.
    if (!event->spontaneous()) {
        Initialise();
    }
    QDialog::showEvent(event);
}

void CSelectSamplesDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ShowInformation();
}

void CSelectSamplesDlg::Initialise() {
    ListFolder({});
    FillRightList();
}

void CSelectSamplesDlg::ListFolder(const std::filesystem::path& listed) {
    std::error_code error;
    folder = listed;
    if (!folder.empty() && std::filesystem::equivalent(folder, programDirectory, error)) {
        folder.clear(); // the program's own directory: its files are named as ever
    }
    const std::filesystem::path shown = folder.empty() ? programDirectory : folder;
    directoryLine->setText(QDir::toNativeSeparators(QString::fromLocal8Bit(Bytes(shown.string()))));

    const WavFileList files = ListWavFiles(shown);
    fileList->clear();
    for (const std::string& name : files.names) {
        auto* item = new QListWidgetItem(Text(name), fileList);
        item->setData(fileNameRole, Bytes(name));
    }
    const std::string note = LongNamesNote(files.longNames);
    longNamesNote->setText(QString::fromStdString(note));
    longNamesNote->setVisible(!note.empty());

    information = {};
    informationNote->clear();
    ShowInformation();
}

void CSelectSamplesDlg::OnBrowse() {
    const QString from = directoryLine->text();
    const QString chosen = chooseFolder ? chooseFolder(from) : QString();
    if (!chosen.isEmpty()) {
        ListFolder(app::ToPath(chosen));
    }
}

std::string CSelectSamplesDlg::PathOf(const std::string& file) const {
    return ((folder.empty() ? programDirectory : folder) / file).string();
}

void CSelectSamplesDlg::FillRightList() {
    sampleList->clear();
    for (int i = 0; i < pending.Count(); ++i) {
        sampleList->addItem(Text(PendingSamples::ListLine(pending.At(i))));
    }
}

std::string CSelectSamplesDlg::FileOf(const QListWidget* list, int row) {
    return list->item(row)->data(fileNameRole).toByteArray().toStdString();
}

void CSelectSamplesDlg::OnAdd() {
    std::vector<std::string> files;
    for (int row = 0; row < fileList->count(); ++row) {
        if (fileList->item(row)->isSelected()) {
            files.push_back(FileOf(fileList, row));
        }
    }
    pending.Add(files, messages, folder);
    FillRightList();
    sampleList->scrollToBottom();
}

void CSelectSamplesDlg::OnRemove() {
    std::vector<int> rows;
    for (int row = 0; row < sampleList->count(); ++row) {
        if (sampleList->item(row)->isSelected()) {
            rows.push_back(row);
        }
    }
    pending.Remove(rows);
    FillRightList();
}

void CSelectSamplesDlg::OnLeftSelectionChanged() {
    const int row = fileList->currentRow();
    if (row < 0) {
        return;
    }
    const std::string file = FileOf(fileList, row);
    browsing.Clear();
    auto texts = InformationTexts(wav, PathOf(file), probe);
    if (texts) {
        (*texts)[0] = file;
    }
    // A refused file shows what could be read of it and why it is refused, never the previous
    // file's details.
    information = {};
    information[0] = Text(file);
    // A refused file whose header said nothing would only show zeros.
    const bool headerRead = browsing.Empty() || wav.Bits() != 0;
    if (texts && headerRead) {
        for (std::size_t i = 0; i < information.size(); ++i) {
            information[i] = Text((*texts)[i]);
        }
    }
    informationNote->setText(Text(browsing.Reasons()));
    ShowInformation();
}

void CSelectSamplesDlg::OnLeftDoubleClicked() {
    const int row = fileList->currentRow();
    if (row >= 0 && play) {
        play(PathOf(FileOf(fileList, row)));
    }
}

void CSelectSamplesDlg::ShowInformation() {
    for (std::size_t i = 0; i < information.size(); ++i) {
        QLabel* label = informationLabels[i];
        const int width = label->contentsRect().width();
        const QString shown =
            i == 0 && width > 0
                ? label->fontMetrics().elidedText(information[i], Qt::ElideMiddle, width)
                : information[i];
        label->setText(shown);
        label->setToolTip(shown == information[i] ? QString() : information[i]);
    }
}

void CSelectSamplesDlg::accept() {
    // The pending entries already match the right list row for row.
    if (play) {
        play("");
    }
    QDialog::accept();
}

void CSelectSamplesDlg::reject() {
    if (play) {
        play("");
    }
    QDialog::reject();
}

} // namespace velomire::program
