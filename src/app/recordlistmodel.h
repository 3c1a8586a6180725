#pragma once

#include "core/recordlist.h"

#include <QAbstractListModel>

// The lines of the record list List1 for a QListView: hundreds of thousands of lines with no item
// object and no string per line; a line is written when the view draws it.
class RecordListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void setLines(const RecordList &lines);
    const RecordList &lines() const { return m_lines; }

private:
    RecordList m_lines;
};
