#include "UploadListModel.h"

#include <bit>

UploadListModel::UploadListModel(UploadList& list, QObject* parent)
    : QAbstractTableModel(parent), m_List(list), m_Headers(ColumnCount) {
    m_List.AboutToInsert = [this](int32_t index) { beginInsertRows({}, index, index); };
    m_List.Inserted = [this](int32_t) { endInsertRows(); };
    m_List.AboutToRemove = [this](int32_t index) { beginRemoveRows({}, index, index); };
    m_List.Removed = [this](int32_t) { endRemoveRows(); };
    m_List.AboutToClear = [this] { beginResetModel(); };
    m_List.Cleared = [this] { endResetModel(); };
    m_List.Changed = [this](int32_t index, ColumnSet columns) {
        if (columns == 0) {
            return;
        }
        // One signal for the span of changed columns: views repaint a rectangle anyway.
        const int first = std::countr_zero(columns);
        const int last = 31 - std::countl_zero(columns);
        emit dataChanged(this->index(index, first),
                         this->index(index, qMin(last, ColumnCount - 1)));
    };
}

UploadListModel::~UploadListModel() {
    m_List.AboutToInsert = nullptr;
    m_List.Inserted = nullptr;
    m_List.AboutToRemove = nullptr;
    m_List.Removed = nullptr;
    m_List.AboutToClear = nullptr;
    m_List.Cleared = nullptr;
    m_List.Changed = nullptr;
}

int UploadListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_List.Count();
}

int UploadListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UploadListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const UploadItem& row = *m_List.At(index.row());
    const auto column = static_cast<UploadColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(row.ColumnText(column));
    case Qt::DecorationRole:
        if (column == UploadColumn::FileName) {
            return m_Icons.value(QString::fromStdString(row.IconKey));
        }
        return {};
    case Qt::ToolTipRole:
        if (column == UploadColumn::Status && !row.ErrorText.empty()) {
            return QString::fromStdString(row.ErrorText);
        }
        if (column == UploadColumn::FileName) {
            return QString::fromStdString(row.FilePath);
        }
        return {};
    case Qt::TextAlignmentRole:
        switch (column) {
        case UploadColumn::Size:
        case UploadColumn::Sent:
        case UploadColumn::Speed:
        case UploadColumn::Elapsed:
        case UploadColumn::Remaining:
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
        }
    case RawValueRole:
        switch (column) {
        case UploadColumn::Size:
            return QVariant::fromValue<qint64>(row.FileSize);
        case UploadColumn::Sent:
            return QVariant::fromValue<qint64>(row.BytesSent);
        case UploadColumn::Speed:
            return row.Speed;
        case UploadColumn::Progress:
            return row.Percent;
        case UploadColumn::Status:
            return static_cast<int>(row.State());
        default:
            return QString::fromStdString(row.ColumnText(column));
        }
    default:
        return {};
    }
}

QVariant UploadListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount) {
        return {};
    }
    return m_Headers[section];
}

void UploadListModel::SetHeaderText(int column, const QString& text) {
    if (column < 0 || column >= ColumnCount || m_Headers[column] == text) {
        return;
    }
    m_Headers[column] = text;
    emit headerDataChanged(Qt::Horizontal, column, column);
}
