#include "app/SampleListModel.h"

#include "app/CVelomireDoc.h"
#include "editing/SampleListCells.h"
#include "ui/QtText.h"

#include <algorithm>

namespace velomire::app {

using editing::CellAlignment;
using editing::SampleListCells;

namespace {

Qt::Alignment AlignmentOf(int column) {
    switch (SampleListCells::Columns()[static_cast<std::size_t>(column)].alignment) {
    case CellAlignment::left:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case CellAlignment::right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case CellAlignment::centre:
        break;
    }
    return Qt::AlignCenter;
}

} // namespace

SampleListModel::SampleListModel(CVelomireDoc& doc, QObject* parent)
    : QAbstractTableModel(parent), doc(doc) {
    connect(&doc, &CVelomireDoc::changed, this, &SampleListModel::Rebuild);
    Rebuild();
}

void SampleListModel::Rebuild() {
    beginResetModel();
    const program::Program& program = doc.GetProgram();
    rows = program.programCreated ? std::clamp(program.sampleCount, 0, program::Program::maxSamples)
                                  : 0;
    endResetModel();
}

int SampleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows;
}

int SampleListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : SampleListCells::columnCount;
}

QVariant SampleListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows) {
        return {};
    }
    const auto& entry = doc.GetProgram().samples[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return FromStd(SampleListCells::Text(entry, index.column(), doc.Settings().samplerModel));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(AlignmentOf(index.column()));
    default:
        return {};
    }
}

QVariant SampleListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= SampleListCells::columnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        const auto title = SampleListCells::Columns()[static_cast<std::size_t>(section)].title;
        return QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(AlignmentOf(section));
    }
    return {};
}

Qt::ItemFlags SampleListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid()) {
        f |= Qt::ItemIsDragEnabled; // rows are dragged to a new place in the list
    }
    if (index.isValid() && index.column() == SampleListCells::nameColumn) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

bool SampleListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != SampleListCells::nameColumn ||
        index.row() >= rows) {
        return false;
    }
    doc.RenameSample(index.row(), value.toString().toStdString());
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

} // namespace velomire::app
