#include "base/linereader.h"

#include "base/textfile.h"

#include <QIODevice>

namespace {

char16_t code(QChar c)
{
    return c.unicode();
}
char16_t code(char c)
{
    return char16_t(static_cast<unsigned char>(c));
}

// Counts lines as splitLines() cuts them, a block at a time: a CR LF split between two blocks is one
// line end, and text after the last line end is one more line.
class LineCounter
{
public:
    template <typename View> void feed(View text)
    {
        for (const auto c : text) {
            const char16_t unit = code(c);
            if (unit == u'\n') {
                if (!m_afterCr)
                    ++m_lines;
                m_afterCr = false;
                m_open = false;
            } else if (unit == u'\r') {
                ++m_lines;
                m_afterCr = true;
                m_open = false;
            } else {
                m_afterCr = false;
                m_open = true;
            }
        }
    }
    qint64 lines() const { return m_lines + (m_open ? 1 : 0); }

private:
    qint64 m_lines = 0;
    bool m_afterCr = false;
    bool m_open = false;
};

// Tells whether a stream of bytes is valid UTF-8 as a whole, a block at a time: a sequence that a
// block cuts is carried over to the next.
class Utf8Check
{
public:
    void feed(QByteArrayView block)
    {
        if (!m_valid)
            return;
        QByteArray text = m_carry + block.toByteArray();
        // Back to the lead byte of the last sequence; keep it when the block ends before its end.
        qsizetype lead = text.size();
        for (int back = 0; back < 4 && lead > 0; ++back) {
            const auto byte = static_cast<unsigned char>(text.at(--lead));
            if ((byte & 0xC0) != 0x80) {
                const int length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
                if (text.size() - lead >= length)
                    lead = text.size();
                break;
            }
        }
        m_carry = text.sliced(lead);
        m_valid = QByteArrayView(text).first(lead).isValidUtf8();
    }
    bool valid() const { return m_valid && m_carry.isEmpty(); }

private:
    QByteArray m_carry;
    bool m_valid = true;
};

// A UTF-16 file that ends in half a unit: the decoder keeps that byte waiting for its other half, so it
// is shown as decoding the whole file at once shows it.
constexpr QChar oddByteReplacement = QChar::ReplacementCharacter;

// The mark was read before: a U+FEFF after it is a character of the text, as TextFile::decode keeps it.
QStringDecoder utf16Decoder(bool bigEndian)
{
    return QStringDecoder(bigEndian ? QStringDecoder::Utf16BE : QStringDecoder::Utf16LE,
                          QStringDecoder::Flag::ConvertInitialBom);
}

template <typename View> qsizetype findLineEnd(View text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        const char16_t unit = code(text[i]);
        if (unit == u'\n' || unit == u'\r')
            return i;
    }
    return -1;
}

} // namespace

LineReader::LineReader(QIODevice &device, qint64 maxLineBytes, qint64 blockSize)
    : m_device(device), m_maxLineBytes(maxLineBytes), m_blockSize(blockSize)
{}

bool LineReader::fail(Failure failure)
{
    m_failure = failure;
    return false;
}

bool LineReader::scan()
{
    const QByteArray head = m_device.peek(3);
    if (head.startsWith("\xEF\xBB\xBF")) {
        m_encoding = Encoding::Utf8;
        m_dataStart = 3;
    } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        m_encoding = head.startsWith("\xFF\xFE") ? Encoding::Utf16LE : Encoding::Utf16BE;
        m_dataStart = 2;
    }
    const bool marked = m_dataStart > 0;
    if (!m_device.seek(m_dataStart))
        return fail(Failure::Read);

    LineCounter counter;
    Utf8Check utf8;
    QStringDecoder wideDecoder = utf16Decoder(m_encoding == Encoding::Utf16BE);
    qint64 wideBytes = 0;
    for (;;) {
        const QByteArray block = m_device.read(m_blockSize);
        if (block.isEmpty()) {
            if (!m_device.atEnd())
                return fail(Failure::Read);
            if (wideBytes % 2 != 0)
                counter.feed(QStringView(&oddByteReplacement, 1));
            break;
        }
        if (wide()) {
            wideBytes += block.size();
            const QString text = wideDecoder.decode(block);
            if (text.contains(QChar(0))) {
                m_hasNul = true;
                break;
            }
            counter.feed(QStringView(text));
        } else {
            if (block.contains('\0')) {
                m_hasNul = true;
                break;
            }
            if (!marked)
                utf8.feed(block);
            counter.feed(QByteArrayView(block));
        }
    }
    if (!marked && !utf8.valid())
        m_encoding = Encoding::Windows1252;
    m_lineCount = counter.lines();

    m_wideDecoder = utf16Decoder(m_encoding == Encoding::Utf16BE);
    if (!m_device.seek(m_dataStart))
        return fail(Failure::Read);
    return true;
}

bool LineReader::fill()
{
    const QByteArray block = m_device.read(m_blockSize);
    if (block.isEmpty()) {
        m_atEnd = true;
        if (!m_device.atEnd())
            return fail(Failure::Read);
        if (m_wideBytes % 2 != 0)
            m_text += QChar(oddByteReplacement);
        return false;
    }
    // Drop what was handed out before growing the buffer.
    if (wide()) {
        m_wideBytes += block.size();
        m_text.remove(0, m_position);
        m_text += m_wideDecoder.decode(block);
    } else {
        m_bytes.remove(0, m_position);
        m_bytes += block;
    }
    m_searched -= m_position;
    m_position = 0;
    return true;
}

QString LineReader::lineAt(qsizetype from, qsizetype length) const
{
    if (wide())
        return m_text.sliced(from, length);
    const QByteArrayView bytes = QByteArrayView(m_bytes).sliced(from, length);
    return m_encoding == Encoding::Utf8 ? TextFile::decodeUtf8(bytes) : TextFile::decodeWindows1252(bytes);
}

char16_t LineReader::unitAt(qsizetype index) const
{
    return wide() ? m_text.at(index).unicode() : code(m_bytes.at(index));
}

bool LineReader::next(QString &line)
{
    if (m_failure != Failure::None)
        return false;
    for (;;) {
        const qsizetype size = wide() ? m_text.size() : m_bytes.size();
        const qsizetype end = wide() ? findLineEnd(QStringView(m_text), m_searched)
                                     : findLineEnd(QByteArrayView(m_bytes), m_searched);
        // A CR that ends the buffer may be the first half of a CR LF: read on before deciding.
        const bool undecided = end >= 0 && end + 1 == size && !m_atEnd && unitAt(end) == u'\r';
        const qsizetype unitBytes = wide() ? 2 : 1;
        if (end >= 0 && !undecided) {
            if ((end - m_position) * unitBytes > m_maxLineBytes)
                return fail(Failure::LineTooLong);
            line = lineAt(m_position, end - m_position);
            const bool crLf = unitAt(end) == u'\r' && end + 1 < size && unitAt(end + 1) == u'\n';
            m_position = end + (crLf ? 2 : 1);
            m_searched = m_position;
            return true;
        }
        m_searched = end >= 0 ? end : size;
        // A CR waiting for its LF is no part of the line: a line of the limit stays within it.
        if (((undecided ? end : size) - m_position) * unitBytes > m_maxLineBytes)
            return fail(Failure::LineTooLong);
        if (!m_atEnd) {
            if (!fill() && m_failure != Failure::None)
                return false;
            continue; // at the end, a CR closing the buffer is a whole line end
        }
        if (m_position >= size)
            return false;
        line = lineAt(m_position, size - m_position); // the last line, without a line end
        m_position = size;
        m_searched = size;
        return true;
    }
}
