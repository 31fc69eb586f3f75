#include "app/CVelomireView.h"

#include "app/CVelomireDoc.h"
#include "app/DroppedFiles.h"
#include "app/SampleListModel.h"
#include "editing/SampleListCells.h"
#include "transfer/SamplerModel.h"
#include "transfer/families/Family.h"
#include "ui/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QValidator>

#include <algorithm>

namespace velomire::app {

using editing::SampleListCells;
using program::Program;

namespace {

using program::appCaption;

// Takes no more text than sampleName holds (its bytes in UTF-8), so nothing is cut silently.
class NameLengthValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return static_cast<std::size_t>(input.toUtf8().size()) <=
                       SampleListCells::maxSampleNameBytes
                   ? Acceptable
                   : Invalid;
    }
};

// The label editor keeps the application's ordinary colours, so the text being typed stays
// readable over the list's blue; it takes what the field holds and says how much of it the
// chosen sampler shows.
class NameDelegate : public QStyledItemDelegate {
public:
    NameDelegate(CVelomireDoc& doc, QObject* parent) : QStyledItemDelegate(parent), doc(doc) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor) {
            editor->setPalette(QApplication::palette(editor));
        }
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setValidator(new NameLengthValidator(line));
            const QString hint = NameHint(doc.Settings().samplerModel);
            line->setToolTip(hint);
            emit doc.statusMessage(hint);
        }
        return editor;
    }

private:
    static QString NameHint(std::int32_t model) {
        QString hint = QStringLiteral("A sample name holds %1 characters")
                           .arg(SampleListCells::maxSampleNameBytes);
        const auto info = transfer::SamplerModel::Find(model);
        const transfer::Family* family = transfer::FamilyOf(model);
        if (info && family != nullptr && family->ShownNameChars() > 0) {
            hint += QStringLiteral("; the %1 shows the first %2")
                        .arg(QString::fromUtf8(info->shortName.data(),
                                               static_cast<qsizetype>(info->shortName.size())))
                        .arg(family->ShownNameChars());
        }
        return hint + QLatin1Char('.');
    }

    CVelomireDoc& doc;
};

QPalette ListPalette(QPalette palette) {
    const QColor blue(0, 0, 255);
    const QColor yellow(255, 255, 0);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, blue);
        palette.setColor(group, QPalette::AlternateBase, blue);
        palette.setColor(group, QPalette::Text, yellow);
        palette.setColor(group, QPalette::HighlightedText, blue);
    }
    // Selected rows are drawn inverted; without the focus their yellow turns grey, like a list
    // that keeps showing its selection.
    palette.setColor(QPalette::Active, QPalette::Highlight, yellow);
    palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(200, 200, 200));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(200, 200, 200));
    return palette;
}

} // namespace

CVelomireView::CVelomireView(CVelomireDoc& doc, QWidget* parent)
    : QTableView(parent), doc(doc), listModel(new SampleListModel(doc, this)),
      parametersAction(new QAction(QStringLiteral("&Parameters"), this)),
      loopsEditorAction(new QAction(QStringLiteral("&Loops Editor"), this)),
      removeAction(new QAction(QStringLiteral("&Remove\tDel"), this)),
      moveUpAction(new QAction(QStringLiteral("Move &Up\tCtrl+Up"), this)),
      moveDownAction(new QAction(QStringLiteral("Move &Down\tCtrl+Down"), this)),
      contextMenu(new QMenu(QStringLiteral("Samples"), this)) {
    setModel(listModel);
    setItemDelegateForColumn(SampleListCells::nameColumn, new NameDelegate(doc, this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setAlternatingRowColors(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    // Rows are dragged to a new place inside the list only.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(true);
    setDragDropOverwriteMode(false);
    setPalette(ListPalette(palette()));
    SetUpColumns();

    parametersAction->setData(command::sampleParameters);
    loopsEditorAction->setData(command::sampleLoopsEditor);
    loopsEditorAction->setStatusTip(QStringLiteral("Loop Editor"));
    loopsEditorAction->setToolTip(QStringLiteral("Loop Editor"));
    connect(parametersAction, &QAction::triggered, this, &CVelomireView::OnSampleParameters);
    connect(loopsEditorAction, &QAction::triggered, this, &CVelomireView::OnSampleLoopsEditor);
    removeAction->setData(command::editRemove);
    removeAction->setShortcut(QKeySequence::Delete);
    removeAction->setStatusTip(QStringLiteral("Remove the selected samples from the program"));
    moveUpAction->setData(command::moveUp);
    moveUpAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    moveUpAction->setStatusTip(QStringLiteral("Move the selected samples up"));
    moveDownAction->setData(command::moveDown);
    moveDownAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    moveDownAction->setStatusTip(QStringLiteral("Move the selected samples down"));
    for (QAction* action : {removeAction, moveUpAction, moveDownAction}) {
        // While the list has the focus, so Delete in another field stays that field's.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    connect(removeAction, &QAction::triggered, this, &CVelomireView::OnRemove);
    connect(moveUpAction, &QAction::triggered, this, [this] { OnMove(-1); });
    connect(moveDownAction, &QAction::triggered, this, [this] { OnMove(1); });
    contextMenu->addAction(parametersAction);
    contextMenu->addAction(loopsEditorAction);
    contextMenu->addSeparator();
    contextMenu->addAction(removeAction);

    connect(&doc, &CVelomireDoc::initialUpdate, this, &CVelomireView::OnInitialUpdate);
    connect(listModel, &QAbstractItemModel::modelReset, this, &CVelomireView::OnUpdate);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CVelomireView::UpdateActions);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CVelomireView::UpdateActions);
    setEnabled(doc.GetProgram().programCreated);
    UpdateActions();
}

std::vector<int> CVelomireView::SelectionRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<int> CVelomireView::MapKeysRows() const {
    std::vector<int> rows = SelectionRows();
    if (rows.size() < 2) {
        rows.clear();
    }
    return rows;
}

std::vector<int> CVelomireView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    if (rows.empty() && currentIndex().isValid()) {
        rows.push_back(currentIndex().row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CVelomireView::SelectRows(const std::vector<int>& rows) {
    selectionModel()->clearSelection();
    for (int row : rows) {
        selectionModel()->select(listModel->index(row, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (!rows.empty()) {
        selectionModel()->setCurrentIndex(listModel->index(rows.front(), 0),
                                          QItemSelectionModel::NoUpdate);
    }
}

void CVelomireView::UpdateActions() {
    const std::vector<int> rows = SelectedRows();
    const int count = listModel->rowCount();
    removeAction->setEnabled(!rows.empty());
    moveUpAction->setEnabled(!rows.empty() && rows.front() > 0);
    moveDownAction->setEnabled(!rows.empty() && rows.back() < count - 1);
}

void CVelomireView::OnRemove() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        return;
    }
    // The rows numbered after them change: the editors' last row is forgotten.
    currentItem = -1;
    doc.RemoveSamples(rows);
    // Nothing stays selected (a later command would act on a row the user never chose); the
    // keyboard goes on from the row after the removed ones.
    selectionModel()->clearSelection();
    const int count = listModel->rowCount();
    if (count > 0) {
        selectionModel()->setCurrentIndex(listModel->index(std::min(rows.front(), count - 1), 0),
                                          QItemSelectionModel::NoUpdate);
    }
}

void CVelomireView::OnMove(int step) {
    const std::vector<int> moved = doc.MoveSamples(SelectedRows(), step);
    if (!moved.empty()) {
        currentItem = -1;
        SelectRows(moved);
    }
}

void CVelomireView::SetUpColumns() {
    QHeaderView* header = horizontalHeader();
    const int margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 4;
    const auto& columns = SampleListCells::Columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        // The given width, or the title's when the font needs more, so no title is cut.
        const QString title = QString::fromLatin1(columns[i].title.data(),
                                                  static_cast<qsizetype>(columns[i].title.size()));
        const int needed = header->fontMetrics().horizontalAdvance(title) + margin;
        setColumnWidth(static_cast<int>(i), std::max(columns[i].width, needed));
    }
}

int CVelomireView::WidthShowingEveryColumn() const {
    const int rowHeader = verticalHeader()->isVisible() ? verticalHeader()->sizeHint().width() : 0;
    return horizontalHeader()->length() + rowHeader + 2 * frameWidth() +
           style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void CVelomireView::OnInitialUpdate() {
    currentItem = -1;
}

void CVelomireView::OnUpdate() {
    setEnabled(doc.GetProgram().programCreated);
    if (currentItem >= 0 && currentItem < listModel->rowCount()) {
        const QModelIndex index = listModel->index(currentItem, 0);
        selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    UpdateActions();
}

void CVelomireView::OnSampleParameters() {
    EditCurrentSample(EditMode::parameters);
}

void CVelomireView::OnSampleLoopsEditor() {
    EditCurrentSample(EditMode::loopsEditor);
}

void CVelomireView::EditCurrentSample(EditMode mode) {
    const QModelIndex focused = currentIndex();
    if (!focused.isValid()) {
        return;
    }
    const int row = focused.row();
    currentItem = row;
    if (mode == EditMode::parameters) {
        doc.EditSample(
            row, CVelomireDoc::EditScope::sampleAndKeygroup,
            [this](program::SampleEntry& editEntry) {
                if (runSampleEditor) {
                    runSampleEditor(this, editEntry);
                }
            },
            QStringLiteral("Parameters"));
        return;
    }
    // None chosen (-1): the system's default output, as the Select Samples preview plays on.
    const int waveOutDevice = doc.Settings().waveOutDevice;
    doc.EditSample(
        row, CVelomireDoc::EditScope::sampleOnly,
        [this, waveOutDevice](program::SampleEntry& editEntry) {
            if (runLoopEditor) {
                runLoopEditor(this, editEntry, waveOutDevice);
            }
        },
        QStringLiteral("Loop Editor"));
}

void CVelomireView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        const QPoint point = event->position().toPoint();
        const QModelIndex index = indexAt(point);
        if (index.isValid()) {
            // The row under the pointer joins the selection and takes the focus, so the menu's
            // commands work on it; other selected rows stay selected.
            selectionModel()->select(index,
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            contextMenu->popup(viewport()->mapToGlobal(point));
            event->accept();
            return;
        }
    }
    QTableView::mousePressEvent(event);
}

void CVelomireView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        OnSampleParameters();
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

QString CVelomireView::EmptyHint() const {
    if (model()->rowCount() > 0) {
        return {};
    }
    if (!doc.GetProgram().programCreated) {
        return QStringLiteral("Start with File > New program, or File > Open program.");
    }
    return QStringLiteral("Add samples with Program > Add Samples to the Program.");
}

void CVelomireView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    const QString hint = EmptyHint();
    if (hint.isEmpty()) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, hint);
}

void CVelomireView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier && state() != EditingState) {
        OnSampleParameters();
        event->accept();
        return;
    }
    const QString text = event->text();
    if (text == QLatin1String("t") || text == QLatin1String("T")) {
        doc.SetTraceMode();
        doc.Messages().Show("Trace mode activated", appCaption);
    }
    // The key still goes on to the list's own type-ahead search.
    QTableView::keyPressEvent(event);
}

// Sound files from outside are taken here (program files and the like are the window's); rows
// dragged inside the list move. Returns false when the event is the list's own to handle.
bool CVelomireView::AnswerOutsideDrag(QDragMoveEvent* event) const {
    if (event->source() == this) {
        return false;
    }
    if (DroppedSoundFiles(event->mimeData()).isEmpty()) {
        event->ignore();
    } else {
        event->acceptProposedAction();
    }
    return true;
}

void CVelomireView::dragEnterEvent(QDragEnterEvent* event) {
    if (AnswerOutsideDrag(event)) {
        return;
    }
    QTableView::dragEnterEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void CVelomireView::dragMoveEvent(QDragMoveEvent* event) {
    if (AnswerOutsideDrag(event)) {
        return;
    }
    QTableView::dragMoveEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void CVelomireView::dropEvent(QDropEvent* event) {
    if (event->source() != this) {
        const QStringList files = DroppedSoundFiles(event->mimeData());
        if (files.isEmpty()) {
            event->ignore();
            return;
        }
        event->acceptProposedAction();
        doc.OnDropFiles(files);
        return;
    }
    // Before the row under the pointer, or after it in its lower half; below the rows: at the end.
    const QPoint point = event->position().toPoint();
    const QModelIndex index = indexAt(point);
    int before = listModel->rowCount();
    if (index.isValid()) {
        const QRect rect = visualRect(index);
        before = index.row() + (point.y() >= rect.center().y() ? 1 : 0);
    }
    // The rows are moved here; reported as a copy, so the drag's end removes nothing.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setState(NoState);
    const std::vector<int> moved = doc.MoveSamplesTo(SelectedRows(), before);
    if (!moved.empty()) {
        currentItem = -1;
        SelectRows(moved);
    }
}

} // namespace velomire::app
