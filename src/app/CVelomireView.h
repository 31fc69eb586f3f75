#pragma once

#include "program/Program.h"

#include <QTableView>

#include <functional>
#include <vector>

class QAction;
class QMenu;

namespace velomire::app {

class CVelomireDoc;

class SampleListModel;

// The main window's list of the program's samples: one row per sample in ten columns, blue with
// yellow text. The name cell is renamed in place; "Parameters" and "Loops Editor" (menu "&Sample"
// and the right-click menu) work on the row that has the focus (the current row), whatever else
// is selected; Enter and a double click open "Parameters". "Remove" and the moves work on every
// selected row; rows are also moved by dragging them inside the list; sound files dropped on it are
// added to the program (program files are left to the window). Typing t or T turns on the trace
// dump for later sends. Disabled while the document holds no program.
class CVelomireView : public QTableView {
    Q_OBJECT

public:
    // The two editors, run modally on the document's editEntry. Until they are plugged in, the
    // commands run the editing protocol without a dialog.
    using SampleEditor = std::function<void(QWidget* parent, program::SampleEntry& editEntry)>;
    using LoopEditor =
        std::function<void(QWidget* parent, program::SampleEntry& editEntry, int waveOutDevice)>;

    explicit CVelomireView(CVelomireDoc& doc, QWidget* parent = nullptr);

    // The width at which the list shows every column without scrolling sideways: the columns'
    // widths follow the font, which differs between systems.
    int WidthShowingEveryColumn() const;

    void SetSampleEditor(SampleEditor editor) { runSampleEditor = std::move(editor); }
    void SetLoopEditor(LoopEditor editor) { runLoopEditor = std::move(editor); }

    // Commands 32775 and 32776, for the main menu's "&Sample" popup.
    QAction* ParametersAction() const { return parametersAction; }
    QAction* LoopsEditorAction() const { return loopsEditorAction; }
    // Remove, Move Up, Move Down: for the main menu's "&Edit" popup (Remove also in the
    // right-click popup).
    QAction* RemoveAction() const { return removeAction; }
    QAction* MoveUpAction() const { return moveUpAction; }
    QAction* MoveDownAction() const { return moveDownAction; }
    // The right-click popup "Samples".
    QMenu* ContextMenu() const { return contextMenu; }

    // The line shown in the empty list: what to do first.
    QString EmptyHint() const;
    // The selected rows in order; empty when none is selected.
    std::vector<int> SelectionRows() const;
    // The rows "Map keys from names" acts on: the selected ones when two or more are, otherwise
    // all (empty), so a single row left selected by chance never narrows it.
    std::vector<int> MapKeysRows() const;

    // The row of the last Parameters or Loops Editor command, or -1.
    int CurrentItem() const { return currentItem; }

    void OnSampleParameters();
    void OnSampleLoopsEditor();
    void OnRemove();
    void OnMove(int step);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool AnswerOutsideDrag(QDragMoveEvent* event) const;
    enum class EditMode { parameters, loopsEditor };

    void OnInitialUpdate();
    void OnUpdate();
    void EditCurrentSample(EditMode mode);
    void SetUpColumns();
    // The selected rows in order, or the focused row when none is selected.
    std::vector<int> SelectedRows() const;
    // Selects exactly these rows, the focus on the first.
    void SelectRows(const std::vector<int>& rows);
    void UpdateActions();

    CVelomireDoc& doc;
    SampleListModel* listModel;
    QAction* parametersAction;
    QAction* loopsEditorAction;
    QAction* removeAction;
    QAction* moveUpAction;
    QAction* moveDownAction;
    QMenu* contextMenu;
    int currentItem = -1;
    SampleEditor runSampleEditor;
    LoopEditor runLoopEditor;
};

} // namespace velomire::app
