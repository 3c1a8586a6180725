#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The lines of the record list List1 for a QListView: hundreds of thousands of lines are one
// string each, with no item object per line.
class RecordListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    void setLines(const QStringList &lines);
    const QStringList &lines() const { return m_lines; }

private:
    QStringList m_lines;
};
