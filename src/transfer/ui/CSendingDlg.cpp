#include "transfer/ui/CSendingDlg.h"

#include "transfer/ProgramSummary.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

namespace velomire::transfer {
namespace {

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

QProgressBar* MakeBar(const QString& objectName) {
    auto* bar = new QProgressBar;
    bar->setObjectName(objectName);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

} // namespace

CSendingDlg::CSendingDlg(const QString& title, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);

    list = new QListWidget;
    list->setObjectName(QStringLiteral("linesList"));
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list->setUniformItemSizes(true);
    // Room for eight lines with a long file name and sample name; a longer line still can be
    // scrolled to.
    const QFontMetrics metrics = list->fontMetrics();
    const int lineWidth = metrics.horizontalAdvance(QStringLiteral(
        "Sending drum_loop_ninety_bpm_take3.wav [drum_loop_ni] ...Right channel as sample#127"));
    list->setMinimumSize(lineWidth + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                             4 * list->frameWidth(),
                         metrics.lineSpacing() * 9);

    sampleBar = MakeBar(QStringLiteral("sampleBar"));
    programBar = MakeBar(QStringLiteral("programBar"));
    auto* bars = new QGridLayout;
    bars->addWidget(new QLabel(QStringLiteral("Sample")), 0, 0);
    bars->addWidget(sampleBar, 0, 1);
    bars->addWidget(new QLabel(QStringLiteral("Program")), 1, 0);
    bars->addWidget(programBar, 1, 1);
    timeLeft = new QLabel;
    timeLeft->setObjectName(QStringLiteral("timeLeft"));
    bars->addWidget(timeLeft, 2, 1);
    bars->setColumnStretch(1, 1);

    cancelButton = new QPushButton(QStringLiteral("Cancel"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, &CSendingDlg::reject);
    bars->addWidget(cancelButton, 0, 2, 2, 1, Qt::AlignRight | Qt::AlignVCenter);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list, 1);
    layout->addLayout(bars);

    qApp->installEventFilter(this);
}

CSendingDlg::~CSendingDlg() {
    qApp->removeEventFilter(this);
}

void CSendingDlg::AddLine(const QString& line) {
    list->addItem(line);
    // The newest line becomes the current one so the list scrolls to it; nothing is selected.
    list->doItemsLayout();
    list->setCurrentRow(list->count() - 1);
    list->scrollToBottom();
    PaintNow();
}

void CSendingDlg::SetSampleBar(int percent) {
    sampleBar->setValue(percent);
    sampleBar->repaint();
}

void CSendingDlg::SetProgramBar(int percent) {
    programBar->setValue(percent);
    programBar->repaint();
}

void CSendingDlg::SetTimeLeft(double seconds) {
    timeLeft->setText(QStringLiteral("Time left: ") +
                      QString::fromStdString(ProgramSummary{0, 0, seconds}.TimeText()));
    timeLeft->repaint();
}

QString CSendingDlg::TimeLeft() const {
    return timeLeft->text();
}

QStringList CSendingDlg::Lines() const {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) {
        lines.append(list->item(i)->text());
    }
    return lines;
}

int CSendingDlg::SampleBar() const {
    return sampleBar->value();
}

int CSendingDlg::ProgramBar() const {
    return programBar->value();
}

void CSendingDlg::ShowNow() {
    show();
    raise();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    PaintNow();
}

void CSendingDlg::Finish() {
    hide();
    DropQueuedInput();
}

void CSendingDlg::KeepOpen() {
    // Nothing clicked during the send may land on Close: it is off while the input drains.
    cancelButton->setEnabled(false);
    DropQueuedInput();
    qApp->removeEventFilter(this);
    kept = true;
    timeLeft->clear();
    cancelButton->setText(QStringLiteral("Close"));
    cancelButton->setEnabled(true);
    // The window of a failed send is read alongside the program, not in its way.
    hide();
    setWindowModality(Qt::NonModal);
    show();
}

void CSendingDlg::DropQueuedInput() {
    // Input made during the send is dropped, never replayed: the filter stays while the events
    // held back reach it, and a moment longer for those the window system still had on the way.
    QElapsedTimer flushing;
    flushing.start();
    do {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    } while (flushing.elapsed() < inputFlushMs);
    QCoreApplication::processEvents();
}

void CSendingDlg::reject() {
    if (kept) {
        QDialog::reject();
        deleteLater();
        return;
    }
    // The send stops after the message in progress; the window stays until it has.
    if (cancelButton->isEnabled()) {
        cancelButton->setEnabled(false);
        emit cancelRequested();
    }
}

bool CSendingDlg::eventFilter(QObject* watched, QEvent* event) {
    if (!IsUserInput(event->type())) {
        return QDialog::eventFilter(watched, event);
    }
    // The window's own input: its Cancel button and Esc.
    if (watched == windowHandle()) {
        return false;
    }
    if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->window() == this) {
        return false;
    }
    // A message box a sender shows during the send (a file that cannot be read, a refused
    // message) sits above this window and must take its answer.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != this) {
        if (watched == modal->windowHandle()) {
            return false;
        }
        if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->window() == modal) {
            return false;
        }
    }
    return true;
}

void CSendingDlg::PaintNow() {
    if (isVisible()) {
        repaint();
    }
}

} // namespace velomire::transfer
