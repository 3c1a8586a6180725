#include "base/batchdialogs.h"
#include "base/linereader.h"
#include "base/runtimeerror.h"
#include "base/textfile.h"
#include "common/testmain.h"
#include "core/quotetable.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestBase : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void splitLines_data();
    void splitLines();
    void decodeFallsBackToWindows1252();
    void decodeHonoursByteOrderMarks();
    void lineReader_data();
    void lineReader();
    void lineTooLong();
    void openForReading_data();
    void openForReading();
    void readLinesWithinLimit();
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

void TestBase::decodeHonoursByteOrderMarks()
{
    QCOMPARE(TextFile::decode("\xEF\xBB\xBFperch\xc3\xa9"), QStringLiteral("perché"));
    QCOMPARE(TextFile::decode(QByteArray("\xFF\xFEp\0\xe9\0\xac\x20", 8)), QStringLiteral("pé€"));
    QCOMPARE(TextFile::decode(QByteArray("\xFE\xFF\0p\0\xe9\x20\xac", 8)), QStringLiteral("pé€"));
}

void TestBase::lineReader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("nul");
    const auto row = [](const char *tag, const QByteArray &bytes, const QStringList &lines,
                        bool nul = false) { QTest::newRow(tag) << bytes << lines << nul; };
    row("empty", "", {});
    row("cr lf, last line without end", "a\r\nb", {"a", "b"});
    row("empty lines and mixed ends", "\r\n\ra\n\nb\r", {"", "", "a", "", "b"});
    row("utf-8", "perch\xc3\xa9\r\n\xe2\x82\xac", {"perché", "€"});
    // Valid UTF-8 in one line does not make the file UTF-8 when another line is not.
    row("windows-1252 as a whole", "\xc3\xa9\n\xe9\x80", {"Ã©", "é€"});
    row("cut UTF-8 sequence at the end", "a\n\xc3", {"a", "Ã"});
    row("utf-8 mark",
        "\xEF\xBB\xBF"
        "a\r\n\xc3\xa9",
        {"a", "é"});
    row("utf-16le mark",
        QByteArray("\xFF\xFE"
                   "a\0\r\0\n\0\xe9\0\r\0",
                   12),
        {"a", "é"});
    row("utf-16be mark", QByteArray("\xFE\xFF\0a\0\n\x20\xac", 8), {"a", "€"});
    row("nul", QByteArray("a\nb\0c\n", 6), {}, true);
    row("utf-16 nul",
        QByteArray("\xFF\xFE"
                   "a\0\0\0",
                   6),
        {}, true);
}

void TestBase::lineReader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(bool, nul);
    // Tiny blocks cut every CR LF, UTF-8 sequence and UTF-16 unit somewhere.
    for (const qint64 block : {1, 2, 3, 5, 4096}) {
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        LineReader reader(buffer, 100, block);
        QVERIFY(reader.scan());
        QCOMPARE(reader.hasNul(), nul);
        if (nul)
            continue;
        QCOMPARE(reader.lineCount(), lines.size());
        QStringList read;
        QString line;
        while (reader.next(line))
            read << line;
        QCOMPARE(read, lines);
        QCOMPARE(reader.failure(), LineReader::Failure::None);
    }
}

void TestBase::lineTooLong()
{
    QByteArray bytes = "abcd\r\nabcde\nf";
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(buffer, 4, 2);
    QVERIFY(reader.scan());
    QString line;
    QVERIFY(reader.next(line));
    QCOMPARE(line, "abcd");
    QVERIFY(!reader.next(line));
    QCOMPARE(reader.failure(), LineReader::Failure::LineTooLong);
    QVERIFY(!reader.next(line));
}

void TestBase::openForReading_data()
{
    QTest::addColumn<QString>("name"); // in the temporary folder unless absolute
    QTest::addColumn<QString>("error");
    QTest::newRow("regular file") << "file.txt"
                                  << "";
    QTest::newRow("missing file") << "manca.txt"
                                  << "Impossibile trovare il file";
    QTest::newRow("missing folder") << "manca/file.txt"
                                    << "Impossibile trovare il percorso";
    QTest::newRow("folder") << "."
                            << "Errore di accesso al percorso/file";
    QTest::newRow("fifo, without waiting for a writer") << "fifo"
                                                        << "Errore di accesso al percorso/file";
    QTest::newRow("device") << "/dev/zero"
                            << "Errore di accesso al percorso/file";
}

void TestBase::openForReading()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("file.txt"), "x"));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    QFile file(QDir(dir.path()).filePath(name));
    const RuntimeError error = TextFile::openForReading(file);
    QTEST(error.description, "error");
    QCOMPARE(file.isOpen(), !error.isError());
}

void TestBase::readLinesWithinLimit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("zantoro.TXT");
    QVERIFY(writeFile(path, "EUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\n"));
    TextFile::ReadResult read = TextFile::readLines(path, 20); // the third line is cut: left out
    QCOMPARE(read.lines, (QStringList{"EUR/USD", "EUR/CHF"}));
    QVERIFY(read.truncated && !read.error.isError());
    read = TextFile::readLines(path, 27);
    QCOMPARE(read.lines, (QStringList{"EUR/USD", "EUR/CHF", "EUR/JPY"}));
    QVERIFY(!read.truncated);
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
