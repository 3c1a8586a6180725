#include "app/recordlistmodel.h"

int RecordListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant RecordListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_lines.line(index.row());
    return {};
}

void RecordListModel::setLines(const RecordList &lines)
{
    beginResetModel();
    m_lines = lines;
    endResetModel();
}
