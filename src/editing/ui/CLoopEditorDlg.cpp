#include "editing/ui/CLoopEditorDlg.h"

#include "editing/AudioOutput.h"
#include "editing/LoopFinder.h"
#include "editing/ui/LoopEditorPictures.h"
#include "editing/ui/SeamWidget.h"
#include "editing/ui/WaveformWidget.h"
#include "program/SampleBlock.h"
#include "program/UserMessages.h"
#include "program/WavInfo.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

namespace velomire::editing {

namespace {

using program::appCaption;

// The snap level's box: typing takes 0..999, its arrows stay within 0..500 (the model's spin).
class SnapLevelBox final : public QSpinBox {
public:
    SnapLevelBox(std::function<int(Spin)> spin, QWidget* parent)
        : QSpinBox(parent), spin(std::move(spin)) {
        setRange(0, LoopEditorModel::maxTypedSnapLevel);
    }

    void stepBy(int steps) override {
        int level = value();
        for (int i = 0; i < std::abs(steps); ++i) {
            level = spin(steps > 0 ? Spin::up : Spin::down);
        }
        setValue(level);
        selectAll();
    }

protected:
    StepEnabled stepEnabled() const override {
        StepEnabled enabled = StepNone;
        if (value() < LoopEditorModel::maxSpinSnapLevel) {
            enabled |= StepUpEnabled;
        }
        if (value() > 0) {
            enabled |= StepDownEnabled;
        }
        return enabled;
    }

private:
    std::function<int(Spin)> spin;
};

QLineEdit* FigureBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setAlignment(Qt::AlignRight);
    // Room for a frame number of a long sample (ten digits).
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 12);
    return box;
}

QPushButton* TextButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    // No button is the default one, so Enter never presses a button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QToolButton* SnapButton(const QString& text, const QString& tip, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("0<")) + 14);
    return button;
}

ScrollRequest RequestOf(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return ScrollRequest::lineLeft;
    case QAbstractSlider::SliderSingleStepAdd:
        return ScrollRequest::lineRight;
    case QAbstractSlider::SliderPageStepSub:
        return ScrollRequest::pageLeft;
    case QAbstractSlider::SliderPageStepAdd:
        return ScrollRequest::pageRight;
    case QAbstractSlider::SliderMove:
        return ScrollRequest::thumbTrack;
    default:
        return ScrollRequest::other;
    }
}

} // namespace

CLoopEditorDlg::CLoopEditorDlg(program::SampleBlock& sample,
                               const std::filesystem::path& programDirectory, int waveOutDevice,
                               AudioOutput& output, program::UserMessages& messages,
                               QWidget* parent, std::size_t frameLimit)
    : QDialog(parent), sample(sample), output(output), messages(messages),
      model(sample, frameLimit), player(output, messages) {
    BuildControls();
    setWindowTitle(QString::fromStdString(model.Caption()));

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    program::WavInfo wav(messages);
    openStatus = model.Open(wav, programDirectory);
    QGuiApplication::restoreOverrideCursor();
    if (openStatus == LoopEditorStatus::memoryAllocError) {
        messages.Show(LoopEditorModel::memoryAllocErrorText, appCaption);
    }
    if (!Opened()) {
        return;
    }
    model.SetPictureSize(waveform->width(), waveform->height());

    // The output reports finished blocks on its own thread: only hand the tag over.
    player.SetTrack(model.Waveform(), sample.sampleRate);
    player.SetDevice(waveOutDevice);
    // Loops can be set without hearing them.
    if (output.DeviceNames().empty()) {
        playButton->setEnabled(false);
        stopButton->setEnabled(false);
        statusText->setText(QStringLiteral("No audio output on this system: Play is off."));
    }
    output.SetBlockFinished([this](std::uint64_t tag) { finishedBlocks.Push(tag); });
    reportsHere = true;
    Refresh();
}

CLoopEditorDlg::~CLoopEditorDlg() {
    // The boxes lose the focus while the base class tears them down: nothing is typed any more.
    for (QLineEdit* field : {startField, endField, lengthField}) {
        disconnect(field, nullptr, this, nullptr);
    }
    Finish();
}

int CLoopEditorDlg::Run(program::SampleBlock& sample, const std::filesystem::path& programDirectory,
                        int waveOutDevice, AudioOutput& output, program::UserMessages& messages,
                        QWidget* parent) {
    CLoopEditorDlg dialog(sample, programDirectory, waveOutDevice, output, messages, parent);
    if (!dialog.Opened()) {
        return QDialog::Rejected;
    }
    return dialog.exec();
}

// The picture of the sound in its frame, with the scroll bar under it.
QWidget* CLoopEditorDlg::BuildPicture() {
    auto* pictureFrame = new QFrame(this);
    pictureFrame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* pictureLayout = new QVBoxLayout(pictureFrame);
    pictureLayout->setContentsMargins(pictureFrame->frameWidth(), pictureFrame->frameWidth(),
                                      pictureFrame->frameWidth(), pictureFrame->frameWidth());
    waveform = new WaveformWidget(model, pictureFrame);
    waveform->setObjectName(QStringLiteral("waveform"));
    pictureLayout->addWidget(waveform);
    connect(waveform, &WaveformWidget::RegionClicked, this, &CLoopEditorDlg::OnRegionClicked);

    scrollBar = new QScrollBar(Qt::Horizontal, this);
    scrollBar->setObjectName(QStringLiteral("scrollBar"));
    connect(scrollBar, &QScrollBar::actionTriggered, this, &CLoopEditorDlg::OnScrollAction);

    return pictureFrame;
}

// Zoom and the player under the picture.
QLayout* CLoopEditorDlg::BuildViewRow() {
    auto* zoomIn = TextButton(QStringLiteral("Zoom in"), this);
    auto* zoomOut = TextButton(QStringLiteral("Zoom out"), this);
    auto* zoomAll = TextButton(QStringLiteral("Zoom All"), this);
    auto* zoomRegion = TextButton(QStringLiteral("Zoom"), this);
    zoomRegion->setToolTip(QStringLiteral("Show the current part's frames"));
    connect(zoomIn, &QPushButton::clicked, this, &CLoopEditorDlg::OnZoomIn);
    connect(zoomOut, &QPushButton::clicked, this, &CLoopEditorDlg::OnZoomOut);
    connect(zoomAll, &QPushButton::clicked, this, &CLoopEditorDlg::OnZoomAll);
    connect(zoomRegion, &QPushButton::clicked, this, &CLoopEditorDlg::OnZoomRegion);

    auto* play = playButton = TextButton(QStringLiteral("P l a y"), this);
    play->setIcon(PlayPicture());
    auto* stop = stopButton = TextButton(QStringLiteral("S t o p"), this);
    stop->setIcon(StopPicture());
    connect(play, &QPushButton::clicked, this, &CLoopEditorDlg::OnPlay);
    connect(stop, &QPushButton::clicked, this, &CLoopEditorDlg::OnStop);

    // The waveform's height, also Ctrl and the mouse wheel over it.
    verticalZoomField = new QSpinBox(this);
    verticalZoomField->setObjectName(QStringLiteral("verticalZoomField"));
    verticalZoomField->setRange(1, WaveformWidget::maxVerticalZoom);
    verticalZoomField->setPrefix(QStringLiteral("x "));
    verticalZoomField->setToolTip(QStringLiteral("Vertical zoom (Ctrl + mouse wheel)"));
    connect(verticalZoomField, &QSpinBox::valueChanged, waveform, &WaveformWidget::SetVerticalZoom);
    connect(waveform, &WaveformWidget::VerticalZoomChanged, verticalZoomField, &QSpinBox::setValue);

    auto* viewRow = new QHBoxLayout;
    viewRow->addWidget(zoomIn);
    viewRow->addWidget(zoomOut);
    viewRow->addWidget(zoomAll);
    viewRow->addWidget(zoomRegion);
    viewRow->addWidget(new QLabel(QStringLiteral("Height"), this));
    viewRow->addWidget(verticalZoomField);
    viewRow->addStretch(1);
    viewRow->addWidget(play);
    viewRow->addWidget(stop);

    return viewRow;
}

// The five parts.
QWidget* CLoopEditorDlg::BuildPartsBox() {
    auto* partsBox = new QGroupBox(this);
    auto* partsLayout = new QHBoxLayout(partsBox);
    const QString partNames[] = {QStringLiteral("Sound"), QStringLiteral("Loop 1"),
                                 QStringLiteral("Loop 2"), QStringLiteral("Loop 3"),
                                 QStringLiteral("Loop 4")};
    for (int part = 0; part <= LoopEditorModel::loopParts; ++part) {
        auto* button = new QToolButton(partsBox);
        button->setText(partNames[part]);
        button->setIcon(PartPicture(part));
        button->setIconSize(QSize(40, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setCheckable(true);
        button->setMinimumWidth(58);
        partsLayout->addWidget(button);
        partButtons[static_cast<std::size_t>(part)] = button;
        if (part == LoopEditorModel::soundPart) {
            connect(button, &QToolButton::clicked, this, &CLoopEditorDlg::OnSelectSound);
        } else {
            connect(button, &QToolButton::clicked, this, [this, part] { OnSelectLoop(part); });
        }
    }

    return partsBox;
}

// Start, End, Length and dwell with the snap buttons beside Start and End.
QWidget* CLoopEditorDlg::BuildRegionBox() {
    auto* regionBox = new QGroupBox(this);
    auto* regionLayout = new QGridLayout(regionBox);
    startField = FigureBox(regionBox);
    startField->setObjectName(QStringLiteral("startField"));
    endField = FigureBox(regionBox);
    endField->setObjectName(QStringLiteral("endField"));
    lengthField = FigureBox(regionBox);
    lengthField->setObjectName(QStringLiteral("lengthField"));
    dwellField = new QSpinBox(regionBox);
    dwellField->setObjectName(QStringLiteral("dwellField"));
    dwellField->setRange(0, LoopEditorModel::maxDwell);
    dwellField->setButtonSymbols(QAbstractSpinBox::NoButtons);
    dwellField->setAlignment(Qt::AlignRight);
    dwellField->setToolTip(QStringLiteral("Milliseconds; 9999 holds"));
    dwellField->setEnabled(false);
    connect(dwellField, &QSpinBox::valueChanged, this, &CLoopEditorDlg::OnDwellChange);

    const auto snapRow = [this, regionBox, regionLayout](
                             int row, const QString& label, QLineEdit* field, const QString& edge,
                             bool (LoopEditorModel::*left)(), bool (LoopEditorModel::*right)()) {
        regionLayout->addWidget(new QLabel(label, regionBox), row, 0);
        regionLayout->addWidget(field, row, 1);
        auto* toLeft =
            SnapButton(QStringLiteral("0<"),
                       edge + QStringLiteral(" to the previous near-zero frame"), regionBox);
        auto* toRight = SnapButton(
            QStringLiteral(">0"), edge + QStringLiteral(" to the next near-zero frame"), regionBox);
        connect(toLeft, &QToolButton::clicked, this, [this, left] { OnSnap(left); });
        connect(toRight, &QToolButton::clicked, this, [this, right] { OnSnap(right); });
        regionLayout->addWidget(toLeft, row, 2);
        regionLayout->addWidget(toRight, row, 3);
    };
    snapRow(0, QStringLiteral("Start"), startField, QStringLiteral("Start"),
            &LoopEditorModel::SnapStartLeft, &LoopEditorModel::SnapStartRight);
    snapRow(1, QStringLiteral("End"), endField, QStringLiteral("End"),
            &LoopEditorModel::SnapEndLeft, &LoopEditorModel::SnapEndRight);
    regionLayout->addWidget(new QLabel(QStringLiteral("Length"), regionBox), 2, 0);
    regionLayout->addWidget(lengthField, 2, 1);
    regionLayout->addWidget(new QLabel(QStringLiteral("dwell"), regionBox), 3, 0);
    regionLayout->addWidget(dwellField, 3, 1);
    for (QLineEdit* field : {startField, endField, lengthField}) {
        connect(field, &QLineEdit::editingFinished, this, [this, field] { OnFigureTyped(field); });
    }
    auto* findLoop = TextButton(QStringLiteral("Find loop"), regionBox);
    findLoop->setObjectName(QStringLiteral("findLoopButton"));
    findLoop->setToolTip(QStringLiteral("Move the loop's end (with Shift its start) to where the "
                                        "wave joins best; press again for the next best"));
    connect(findLoop, &QPushButton::clicked, this, &CLoopEditorDlg::OnFindLoop);
    findLoopButton = findLoop;
    regionLayout->addWidget(findLoop, 2, 2, 1, 2);

    return regionBox;
}

// Snapping threshold and trimming.
QWidget* CLoopEditorDlg::BuildSnapBox() {
    auto* snapBox = new QGroupBox(this);
    auto* snapLayout = new QGridLayout(snapBox);
    snapLevelField = new SnapLevelBox(
        [this](Spin step) {
            model.SnapSpin(step);
            return model.SnapLevel();
        },
        snapBox);
    snapLevelField->setObjectName(QStringLiteral("snapLevelField"));
    snapLevelField->setAlignment(Qt::AlignRight);
    connect(snapLevelField, &QSpinBox::valueChanged, this, &CLoopEditorDlg::OnSnapLevelChange);
    auto* removeSilence = TextButton(QStringLiteral("Remove 0"), snapBox);
    connect(removeSilence, &QPushButton::clicked, this, &CLoopEditorDlg::OnRemoveSilence);
    snapLayout->addWidget(new QLabel(QStringLiteral("Snap Level"), snapBox), 0, 0);
    snapLayout->addWidget(snapLevelField, 0, 1);
    snapLayout->addWidget(removeSilence, 1, 0, 1, 2);
    snapLayout->setRowStretch(2, 1);

    return snapBox;
}

// Loop mode and number of loops.
QWidget* CLoopEditorDlg::BuildLoopBox() {
    auto* loopBox = new QGroupBox(QStringLiteral("Loop mode"), this);
    auto* loopLayout = new QGridLayout(loopBox);
    loopModeList = new QComboBox(loopBox);
    loopModeList->setObjectName(QStringLiteral("loopModeList"));
    loopModeList->addItems({QStringLiteral("Normal Looping"), QStringLiteral("Loop until release"),
                            QStringLiteral("No looping"), QStringLiteral("Play to sample end")});
    connect(loopModeList, &QComboBox::currentIndexChanged, this, &CLoopEditorDlg::OnLoopModeChange);
    loopCountField = new QSpinBox(loopBox);
    loopCountField->setObjectName(QStringLiteral("loopCountField"));
    loopCountField->setRange(0, LoopEditorModel::loopParts);
    loopCountField->setAlignment(Qt::AlignRight);
    connect(loopCountField, &QSpinBox::valueChanged, this, &CLoopEditorDlg::OnLoopCountChange);
    loopLayout->addWidget(loopModeList, 0, 0, 1, 2);
    loopLayout->addWidget(new QLabel(QStringLiteral("Number of Loops"), loopBox), 1, 0);
    loopLayout->addWidget(loopCountField, 1, 1);
    loopLayout->setRowStretch(2, 1);

    return loopBox;
}

void CLoopEditorDlg::BuildControls() {
    QWidget* pictureFrame = BuildPicture();
    QLayout* viewRow = BuildViewRow();
    QWidget* partsBox = BuildPartsBox();
    QWidget* regionBox = BuildRegionBox();
    QWidget* snapBox = BuildSnapBox();
    QWidget* loopBox = BuildLoopBox();

    auto* ok = TextButton(QStringLiteral("Ok"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* controlsRow = new QHBoxLayout;
    controlsRow->addWidget(partsBox);
    controlsRow->addWidget(regionBox);
    controlsRow->addWidget(snapBox);
    controlsRow->addWidget(loopBox);
    seam = new SeamWidget(this);
    seam->setObjectName(QStringLiteral("seam"));
    controlsRow->addWidget(seam, 0, Qt::AlignTop);
    controlsRow->addStretch(1);

    statusText = new QLabel(this);
    statusText->setObjectName(QStringLiteral("statusText"));
    joinNote = new QLabel(this);
    joinNote->setObjectName(QStringLiteral("joinNote"));
    auto* okRow = new QHBoxLayout;
    okRow->addWidget(statusText);
    okRow->addWidget(joinNote);
    okRow->addStretch(1);
    okRow->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pictureFrame);
    layout->addWidget(scrollBar);
    layout->addLayout(viewRow);
    layout->addLayout(controlsRow);
    layout->addStretch(1);
    layout->addLayout(okRow);

    cursorTimer = new QTimer(this);
    cursorTimer->setInterval(cursorIntervalMs);
    connect(cursorTimer, &QTimer::timeout, this, &CLoopEditorDlg::OnCursorTimer);
    drainTimer = new QTimer(this);
    drainTimer->setInterval(drainIntervalMs);
    connect(drainTimer, &QTimer::timeout, this, &CLoopEditorDlg::DrainFinishedBlocks);

    ok->setFocus();
}

void CLoopEditorDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Enter || event->key() == Qt::Key_Return) {
        // Only the "Ok" button finishes the editor.
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLoopEditorDlg::done(int result) {
    Finish();
    QDialog::done(result);
}

void CLoopEditorDlg::Finish() {
    StopCursor();
    // The player lets go of the track before the model releases it.
    player.Close();
    model.Finish();
    // Closed now: the handler may be replaced safely, and nothing refers to this dialog.
    if (reportsHere) {
        output.SetBlockFinished({});
        reportsHere = false;
    }
}

void CLoopEditorDlg::OnSelectSound() {
    joinNote->clear();
    model.SelectSound();
    SyncPlayerRegion();
    Refresh();
}

void CLoopEditorDlg::OnSelectLoop(int n) {
    joinNote->clear();
    model.SelectLoop(n);
    SyncPlayerRegion();
    Refresh();
}

void CLoopEditorDlg::OnRegionClicked() {
    Edited();
}

void CLoopEditorDlg::OnSnap(bool (LoopEditorModel::*snap)()) {
    if ((model.*snap)()) {
        Edited();
    }
}

void CLoopEditorDlg::OnRemoveSilence() {
    if (model.RemoveSilence()) {
        Edited();
    }
}

void CLoopEditorDlg::OnFigureTyped(QLineEdit* field) {
    bool ok = false;
    const qlonglong value = field->text().trimmed().toLongLong(&ok);
    bool changed = false;
    if (ok) {
        if (field == startField) {
            changed = model.TypeStart(value);
        } else if (field == endField) {
            changed = model.TypeEnd(value);
        } else {
            changed = model.TypeLength(value);
        }
    }
    // Either way the boxes show what was taken.
    if (changed) {
        Edited();
    } else {
        Refresh();
    }
}

void CLoopEditorDlg::OnFindLoop() {
    const bool moveStart = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
    if (model.FindLoop(moveStart)) {
        Edited();
    }
    // The best join found may still click: say so, and what else there is to try.
    if (model.PoorJoin()) {
        const int percent = static_cast<int>(std::lround(model.JoinShare() * 100));
        QString note =
            QStringLiteral("The best join found still jumps by %1 % of full scale").arg(percent);
        note += moveStart ? QStringLiteral(": try another start.")
                          : QStringLiteral(": Shift+Find loop moves the start too.");
        joinNote->setText(note);
    }
}

void CLoopEditorDlg::OnDwellChange(int ms) {
    model.SetDwell(ms);
    Refresh();
}

void CLoopEditorDlg::OnSnapLevelChange(int level) {
    model.SetSnapLevel(level);
}

void CLoopEditorDlg::OnLoopCountChange(int count) {
    model.SetLoopCount(count);
    Refresh();
}

void CLoopEditorDlg::OnLoopModeChange(int mode) {
    model.SetLoopMode(mode);
    // The player reads it at its next refill: a loop stops or starts repeating from there.
    player.SetLooping(LoopPlays());
    Refresh();
}

void CLoopEditorDlg::OnZoomIn() {
    model.ZoomIn();
    Refresh();
}

void CLoopEditorDlg::OnZoomOut() {
    model.ZoomOut();
    Refresh();
}

void CLoopEditorDlg::OnZoomAll() {
    model.ZoomAll();
    Refresh();
}

void CLoopEditorDlg::OnZoomRegion() {
    model.ZoomRegion();
    Refresh();
}

void CLoopEditorDlg::OnScrollAction(int action) {
    model.Scroll(RequestOf(action), scrollBar->sliderPosition());
    // The bar's own step is replaced by the model's thumb, which the bar then takes as value.
    scrollBar->setSliderPosition(model.View().Thumb());
    Refresh();
}

void CLoopEditorDlg::OnPlay() {
    // Tags of blocks dropped by an earlier run are of no interest any more.
    while (finishedBlocks.Pop()) {
    }
    SyncPlayerRegion();
    if (!player.OnPlay()) {
        StopCursor();
        return;
    }
    drainTimer->start();
    cursorTimer->start();
    if (!cursorTimer->isActive()) {
        messages.Show("Pas de Timer", appCaption);
    }
}

void CLoopEditorDlg::OnStop() {
    player.OnStop();
}

void CLoopEditorDlg::OnCursorTimer() {
    const std::optional<std::int64_t> frame = player.CursorFrame();
    if (!frame) {
        waveform->SetCursorColumn(std::nullopt);
        return;
    }
    const int column = model.View().ColumnOfFrame(*frame);
    if (column < 0 || column >= waveform->width()) {
        waveform->SetCursorColumn(std::nullopt);
        return;
    }
    waveform->SetCursorColumn(column);
}

void CLoopEditorDlg::DrainFinishedBlocks() {
    bool running = player.CursorRunning();
    while (const std::optional<std::uint64_t> tag = finishedBlocks.Pop()) {
        running = player.OnBlockFinished(*tag);
    }
    if (!running) {
        StopCursor();
    }
}

void CLoopEditorDlg::StopCursor() {
    cursorTimer->stop();
    drainTimer->stop();
    waveform->SetCursorColumn(std::nullopt);
}

void CLoopEditorDlg::SyncPlayerRegion() {
    const RegionFigures figures = model.Figures();
    player.SetRegion(static_cast<int>(figures.start), static_cast<int>(figures.end));
    player.SetLooping(LoopPlays());
}

bool CLoopEditorDlg::LoopPlays() const {
    return model.CurrentPart() > LoopEditorModel::soundPart && model.LoopMode() < program::loopNone;
}

void CLoopEditorDlg::Edited() {
    joinNote->clear();
    if (player.CursorRunning() && model.CurrentPart() > LoopEditorModel::soundPart) {
        // The round under way is finished; the edited loop plays from the next wrap.
        const RegionFigures figures = model.Figures();
        player.EditRegion(static_cast<int>(figures.start), static_cast<int>(figures.end));
        player.SetLooping(LoopPlays());
    }
    Refresh();
}

void CLoopEditorDlg::Refresh() {
    waveform->update();

    const RegionFigures figures = model.Figures();
    startField->setText(QString::number(figures.start));
    endField->setText(QString::number(figures.end));
    lengthField->setText(QString::number(figures.length));
    const bool partChosen = model.CurrentPart() >= LoopEditorModel::soundPart;
    for (QLineEdit* field : {startField, endField, lengthField}) {
        field->setReadOnly(!partChosen);
    }
    const bool loopChosen = model.CurrentPart() > LoopEditorModel::soundPart;
    findLoopButton->setEnabled(loopChosen);
    seam->SetFrames(loopChosen ? SeamFrames(model.Waveform(), figures.start, figures.end,
                                            SeamWidget::halfFrames)
                               : std::vector<std::int16_t>{});
    {
        const QSignalBlocker blocker(dwellField);
        if (dwellField->value() != figures.dwell) {
            dwellField->setValue(static_cast<int>(figures.dwell));
        }
    }
    dwellField->setEnabled(model.DwellEnabled());

    for (int part = 0; part <= LoopEditorModel::loopParts; ++part) {
        partButtons[static_cast<std::size_t>(part)]->setChecked(model.CurrentPart() == part);
    }
    {
        const QSignalBlocker blocker(snapLevelField);
        if (snapLevelField->value() != model.SnapLevel()) {
            snapLevelField->setValue(model.SnapLevel());
        }
    }
    {
        const QSignalBlocker blocker(loopCountField);
        if (loopCountField->value() != model.LoopCount()) {
            loopCountField->setValue(model.LoopCount());
        }
    }
    {
        const QSignalBlocker blocker(loopModeList);
        loopModeList->setCurrentIndex(model.LoopMode());
    }

    // The thumb's length shows how much of the sample is in view. With all of it shown there is
    // nothing to scroll: the bar is disabled and its thumb fills it (range 0..0 for as long).
    const WaveformView& view = model.View();
    const std::int64_t shown = view.ViewEnd() - view.ViewStart() + 1;
    const std::int64_t hidden = view.ScrollMax();
    const QSignalBlocker blocker(scrollBar);
    scrollBar->setEnabled(hidden > 0);
    scrollBar->setRange(0, hidden > 0 ? WaveformView::thumbMax : 0);
    if (hidden > 0) {
        constexpr std::int64_t largestPageStep = 1 << 19;
        const std::int64_t pageStep =
            std::clamp<std::int64_t>(shown * WaveformView::thumbMax / hidden, 1, largestPageStep);
        scrollBar->setPageStep(static_cast<int>(pageStep));
    }
    scrollBar->setValue(view.Thumb());
}

} // namespace velomire::editing
