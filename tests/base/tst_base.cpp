#include "base/batchdialogs.h"
#include "base/runtimeerror.h"
#include "base/textfile.h"
#include "common/testmain.h"
#include "core/quotetable.h"

#include <QFile>
#include <QTemporaryDir>

class TestBase : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void splitLines_data();
    void splitLines();
    void decodeFallsBackToWindows1252();
    void appendLines();
    void quoteText_data();
    void quoteText();
};

void TestBase::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("lf") << "a\nb\n" << QStringList{"a", "b"};
    QTest::newRow("crlf") << "a\r\nb\r\n" << QStringList{"a", "b"};
    QTest::newRow("cr") << "a\rb" << QStringList{"a", "b"};
    QTest::newRow("mixed, no final end") << "a\r\n\rb\nc" << QStringList{"a", "", "b", "c"};
    QTest::newRow("only line ends") << "\r\n\r\n" << QStringList{"", ""};
}

void TestBase::splitLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(TextFile::splitLines(text), lines);
}

void TestBase::decodeFallsBackToWindows1252()
{
    QCOMPARE(TextFile::decode("perch\xc3\xa9"), QStringLiteral("perché"));
    QCOMPARE(TextFile::decode("perch\xe9 \x80"), QStringLiteral("perché €"));
}

void TestBase::appendLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("storico.txt"));
    QVERIFY(!TextFile::appendLines(path, {QStringLiteral("uno")}).isError());
    QVERIFY(!TextFile::appendLines(path, {QStringLiteral("due"), QStringLiteral("tre")}).isError());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("uno\r\ndue\r\ntre\r\n")); // CR LF, nothing truncated

    const RuntimeError error =
        TextFile::appendLines(dir.filePath(QStringLiteral("manca/storico.txt")), {"x"});
    QCOMPARE(error.number, ErrorNumber::PathNotFound);
    QCOMPARE(error.description, QStringLiteral("Impossibile trovare il percorso"));
}

void TestBase::quoteText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("four decimals") << 1.0734 << "1,0734";
    QTest::newRow("two decimals") << 1.07 << "1,0700";
    QTest::newRow("below one") << 0.6 << "0,6000";
    QTest::newRow("three digits") << 127.45 << "127,45";
    QTest::newRow("cut") << 1.23456789 << "1,2345";
    QTest::newRow("one decimal") << 1.5 << "1,5000";
    QTest::newRow("whole") << 2.0 << "2,0000";
    QTest::newRow("zero") << 0.0 << "0,0000";
    QTest::newRow("131,25") << 131.25 << "131,25";
}

void TestBase::quoteText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(::quoteText(value), text);
}

QUOTAZIONI_TEST_MAIN(TestBase)
#include "tst_base.moc"
