#pragma once

#include "core/quoteformat.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <optional>

struct RecordListData;

// The lines of the record list List1. A listing keeps only the day and the quote of each of its
// pair's records and writes a line when it is shown or read; the lines of the history file are
// kept as they were read. Copies share the lines.
class RecordList
{
public:
    RecordList();
    static RecordList ofTexts(const QStringList &lines);

    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }

    // Where a line is written for reading in place: a long list is read line by line without a
    // string made for each.
    class LineBuffer
    {
        friend class RecordList;
        char16_t m_chars[48];
        QString m_long;
    };
    // Line i, valid until the buffer is used again.
    QStringView line(qsizetype i, LineBuffer &buffer) const;
    QString line(qsizetype i) const;
    QStringList toStringList() const;

    // A listing's record i: its date as the number yyyymmdd when it is written in 8 digits, and its
    // quote. None for the lines of a file.
    std::optional<quint32> plainDay(qsizetype i) const;
    double quote(qsizetype i) const;

    // Builds the list of a pair's records, in list order.
    class Builder
    {
    public:
        explicit Builder(const QString &code, const QuoteFormat &format = QuoteFormat());
        // date: the record's yyyymmdd text, trimmed and not empty.
        void append(QStringView date, double quote);
        // date: 8 ASCII digits.
        void appendPlain(QByteArrayView date, double quote);
        // day: yyyymmdd.
        void appendDay(quint32 day, double quote);
        // The date of the last record appended.
        QString lastDate() const;
        qsizetype size() const;
        RecordList finish();

    private:
        std::shared_ptr<RecordListData> m_data;
    };

private:
    explicit RecordList(std::shared_ptr<const RecordListData> data);
    std::shared_ptr<const RecordListData> m_data;
};
