#pragma once

#include <QAbstractTableModel>

namespace velomire::app {

class CVelomireDoc;

// The document's sample table as ten columns (SampleListCells). It keeps no copy of the rows:
// every change the document announces resets the model, and the cells are read from the program.
// Only the name cell is editable; a rename goes to the document.
class SampleListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit SampleListModel(CVelomireDoc& doc, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    void Rebuild();

    CVelomireDoc& doc;
    int rows = 0;
};

} // namespace velomire::app
