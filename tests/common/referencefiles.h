#pragma once

// The central bank's reference-rate files as the tests serve them.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QStringList>

inline const QByteArray kReferenceEnvelope =
    "<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
    "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\">";
inline const QByteArray kReferenceSender = "<gesmes:subject>Reference rates</gesmes:subject><gesmes:Sender>"
                                           "<gesmes:name>European Central Bank</gesmes:name></gesmes:Sender>";

struct ReferenceDay
{
    QDate day;
    QStringList rates; // "USD=1.0820", as the daily file writes them
};

// The history files drop trailing zeros: "0.8540" is written "0.854", "1.0800" "1.08".
inline QString withoutTrailingZeros(QString figure)
{
    while (figure.endsWith(u'0'))
        figure.chop(1);
    if (figure.endsWith(u'.'))
        figure.chop(1);
    return figure;
}

// The daily file as published: indented with tabs, single quotes, trailing zeros kept.
inline QByteArray referenceDailyFile(const ReferenceDay &day)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + kReferenceEnvelope + "\n\t" +
                     kReferenceSender + "\n\t<Cube>\n\t\t<Cube time='" +
                     day.day.toString(Qt::ISODate).toLatin1() + "'>\n";
    for (const QString &rate : day.rates)
        xml += "\t\t\t<Cube currency='" + rate.section(u'=', 0, 0).toLatin1() + "' rate='" +
               rate.section(u'=', 1).toLatin1() + "'/>\n";
    return xml + "\t\t</Cube>\n\t</Cube>\n</gesmes:Envelope>\n";
}

// A history file as published: the envelope on the first line, one day a line, newest first (the days
// are given oldest first), double quotes, trailing zeros dropped, no newline at the end.
inline QByteArray referenceHistoryFile(const QList<ReferenceDay> &days)
{
    QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + kReferenceEnvelope + kReferenceSender + "<Cube>";
    for (auto day = days.crbegin(); day != days.crend(); ++day) {
        xml += "\n<Cube time=\"" + day->day.toString(Qt::ISODate).toLatin1() + "\">";
        for (const QString &rate : day->rates)
            xml += "<Cube currency=\"" + rate.section(u'=', 0, 0).toLatin1() + "\" rate=\"" +
                   withoutTrailingZeros(rate.section(u'=', 1)).toLatin1() + "\"/>";
        xml += "</Cube>";
    }
    return xml + "</Cube></gesmes:Envelope>";
}
