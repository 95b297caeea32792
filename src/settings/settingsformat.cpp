#include "settings/settingsformat.h"

#include "engine/defaults.h"
#include "engine/numbertext.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

namespace orbisk {
namespace {

class FormatText {
    Q_DECLARE_TR_FUNCTIONS(SettingsFormat)

public:
    static QString valueName(qsizetype index)
    {
        static const char *const names[settingsValueCount] = {
            QT_TR_NOOP("the name of leg 1"), QT_TR_NOOP("the name of leg 2"), QT_TR_NOOP("the name of leg 3"),
            QT_TR_NOOP("the bid of leg 1"),  QT_TR_NOOP("the bid of leg 2"),  QT_TR_NOOP("the bid of leg 3"),
            QT_TR_NOOP("the ask of leg 1"),  QT_TR_NOOP("the ask of leg 2"),  QT_TR_NOOP("the ask of leg 3")};
        return tr(names[index]);
    }
    static QString cutShort(int found)
    {
        return tr("it is longer than a settings file can be; only %1 of its %2 values were found in it")
            .arg(found)
            .arg(settingsValueCount);
    }
};

// A text box holds at most this many characters; a longer value could not be shown whole.
constexpr qsizetype maxValueLength = 32767;
constexpr qsizetype maxValueBytes = 4 * maxValueLength;
// Blanks, text after a closing quote and the rest of an unreadable value are skipped, not kept;
// the whole read still ends after this many bytes.
constexpr qint64 maxReadBytes = qint64{2} * settingsValueCount * (maxValueBytes + 2);

bool isLineEnd(int c)
{
    return c == '\r' || c == '\n';
}

// Sequential bytes from the device, fetched in small blocks so that nothing after the ninth
// field is read, and no more than maxReadBytes in all.
class ByteSource {
public:
    explicit ByteSource(QIODevice &device)
        : m_device(device)
    {
    }

    int peek()
    {
        if (m_pos == m_buffer.size() && !refill())
            return -1;
        return static_cast<unsigned char>(m_buffer[m_pos]);
    }
    int get()
    {
        const int c = peek();
        if (c >= 0)
            ++m_pos;
        m_nul = m_nul || c == 0;
        return c;
    }
    // Puts bytes just taken back in front, to be read again.
    void unget(const QByteArray &bytes)
    {
        m_buffer = bytes + m_buffer.mid(m_pos);
        m_pos = 0;
    }
    [[nodiscard]] bool failed() const { return m_failed; }
    [[nodiscard]] bool exhausted() const { return m_fetched >= maxReadBytes; }
    // Every byte the read may take is taken: whether more would follow is unknown.
    [[nodiscard]] bool cut() { return peek() < 0 && exhausted(); }
    // A line end ran into the cut, so how many lines it ends is unknown.
    void markUnsure() { m_unsure = true; }
    [[nodiscard]] bool unsure() const { return m_unsure; }
    // Whether a NUL byte was taken: 8-bit text never holds one, UTF-16 text nearly always.
    [[nodiscard]] bool nul() const { return m_nul; }
    // The kinds of line end taken (1 LF, 2 CR, 4 CRs and a LF): a file that mixes them was not
    // written as one, and which breaks were meant is unknown.
    void lineEnd(int kind) { m_lineEnds |= kind; }
    [[nodiscard]] bool mixedLineEnds() const { return (m_lineEnds & (m_lineEnds - 1)) != 0; }

private:
    bool refill()
    {
        if (m_failed || exhausted())
            return false;
        m_buffer = m_device.read(std::min<qint64>(4096, maxReadBytes - m_fetched));
        m_fetched += m_buffer.size();
        m_pos = 0;
        if (m_buffer.isEmpty() && !m_device.atEnd())
            m_failed = true;
        return !m_buffer.isEmpty();
    }

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_fetched = 0;
    bool m_failed = false;
    bool m_unsure = false;
    bool m_nul = false;
    int m_lineEnds = 0;
};

// Consumes one line end or comma if one is next; reports whether it did. A line end is a LF, a
// run of CRs and the LF after it (a CR LF file passed through a text-mode conversion once more
// has CR CR LF), or a lone CR.
bool consumeDelimiter(ByteSource &in)
{
    const int c = in.peek();
    if (c != ',' && !isLineEnd(c))
        return false;
    in.get();
    if (c != '\r') {
        in.lineEnd(c == '\n' ? 1 : 0);
        return true;
    }
    QByteArray returns;
    while (in.peek() == '\r')
        returns += static_cast<char>(in.get());
    if (in.peek() == '\n') {
        in.get();
        in.lineEnd(4);
    } else if (in.cut()) {
        in.markUnsure(); // the LF that would make the CRs one line end may lie past the cut
    } else {
        if (!returns.isEmpty())
            in.unget(returns); // lone CRs: each ends a line of its own
        in.lineEnd(2);
    }
    return true;
}

// Skips to just after the next comma or line end.
void skipField(ByteSource &in)
{
    for (int c = in.peek(); c >= 0 && c != ',' && !isLineEnd(c); c = in.peek())
        in.get();
    consumeDelimiter(in);
}

enum class FieldStatus { Read, EndOfFile, Cut, Unclosed, TooLong };

// Quotes that do not close within a value's room give up the field at the end of the opening
// quote's line, so that the values on the following lines are still read.
FieldStatus giveUpQuoted(ByteSource &in, const QByteArray &taken, FieldStatus status)
{
    const auto lineEnd = std::find_if(taken.begin(), taken.end(), isLineEnd);
    if (lineEnd != taken.end()) {
        in.unget(taken.mid(lineEnd - taken.begin()));
        consumeDelimiter(in);
    } else {
        skipField(in);
    }
    return in.cut() ? FieldStatus::Cut : status; // it may go on past what may be read
}

FieldStatus readField(ByteSource &in, QByteArray &value)
{
    value.clear();
    while (isBlank(in.peek()))
        in.get();
    if (in.peek() < 0)
        return FieldStatus::EndOfFile;

    if (in.peek() == '"') {
        in.get();
        for (int c = in.get(); c != '"'; c = in.get()) {
            if (c < 0)
                return giveUpQuoted(in, value, FieldStatus::Unclosed);
            if (value.size() == maxValueBytes)
                return giveUpQuoted(in, value, FieldStatus::TooLong);
            value += static_cast<char>(c);
        }
        skipField(in); // text after the closing quote belongs to no value
        return FieldStatus::Read;
    }

    for (int c = in.peek(); c >= 0 && c != ',' && !isLineEnd(c); c = in.peek()) {
        if (value.size() == maxValueBytes) {
            skipField(in);
            return in.cut() ? FieldStatus::Cut : FieldStatus::TooLong;
        }
        value += static_cast<char>(in.get());
    }
    if (in.cut())
        return FieldStatus::Cut; // the value may go on past what may be read
    while (!value.isEmpty() && isBlank(value.back()))
        value.chop(1);
    consumeDelimiter(in);
    return FieldStatus::Read;
}

// The nine fields into result, with what was wrong with each.
void readFields(ByteSource &in, SettingsRead &result, const QIODevice &device)
{
    QByteArray bytes;
    for (int index = 0; index < settingsValueCount; ++index) {
        const QString name = FormatText::valueName(index);
        const FieldStatus status = readField(in, bytes);
        if (in.failed()) {
            result.problems << FormatText::tr("it cannot be read (%1)").arg(device.errorString());
            return;
        }
        switch (status) {
        case FieldStatus::EndOfFile:
        case FieldStatus::Cut:
            result.problems << (in.exhausted() ? FormatText::cutShort(index)
                                               : FormatText::tr("it holds only %1 of its %2 values")
                                                     .arg(index)
                                                     .arg(settingsValueCount));
            return;
        case FieldStatus::Unclosed:
            result.problems << FormatText::tr("the quotes around %1 are not closed").arg(name);
            continue;
        case FieldStatus::TooLong:
            result.problems << FormatText::tr("%1 is too long").arg(name);
            continue;
        case FieldStatus::Read:
            break;
        }
        // A byte-order mark is kept as the character it is: the value may begin with one.
        QStringDecoder decoder(QStringDecoder::System,
                               QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        const QString value = decoder(bytes);
        if (decoder.hasError() || bytes.contains('\0')) // no text holds a NUL, nor could it be saved
            result.problems << FormatText::tr("%1 is not text").arg(name);
        else if (value.size() > maxValueLength)
            result.problems << FormatText::tr("%1 is too long").arg(name);
        else
            result.values[index] = value;
        if (in.unsure() && index + 1 < settingsValueCount) {
            result.problems << FormatText::cutShort(index + 1);
            return;
        }
    }
}

} // namespace

const QStringList &initialSettings()
{
    static const QStringList values = [] {
        QStringList texts;
        for (const auto member : {&LegDefaults::name, &LegDefaults::bid, &LegDefaults::ask}) {
            for (const LegDefaults &leg : defaultLegs)
                texts << QString::fromLatin1(leg.*member);
        }
        return texts;
    }();
    return values;
}

SettingsRecord SettingsRecord::fromValues(const QStringList &values)
{
    SettingsRecord record;
    for (int leg = 0; leg < legCount; ++leg) {
        record.names[leg] = values.value(leg);
        record.bids[leg] = values.value(legCount + leg);
        record.asks[leg] = values.value(2 * legCount + leg);
    }
    return record;
}

QStringList SettingsRecord::values() const
{
    QStringList all;
    for (const auto *group : {&names, &bids, &asks})
        all.append(QStringList(group->begin(), group->end()));
    return all;
}

SettingsRead readSettings(QIODevice &device)
{
    SettingsRead result;
    result.values = initialSettings();
    const QByteArray head = device.peek(3);
    ByteSource in(device);
    readFields(in, result, device);
    // What makes the whole file doubtful, whichever values it touched.
    if (head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        result.problems << FormatText::tr(
            "it starts with a byte-order mark, which a settings file never does");
    if (in.nul())
        result.problems << FormatText::tr("it holds NUL bytes, as text in UTF-16 does, not 8-bit text");
    if (in.mixedLineEnds())
        result.problems << FormatText::tr(
            "its lines end in more than one way, so where a value ends is unsure");
    return result;
}

EncodedSettings encodeSettings(const QStringList &values)
{
    EncodedSettings encoded;
    QStringEncoder encoder(QStringEncoder::System);
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString &value = values[i];
        // What the reader could not take back is refused, not saved to be lost at the next start.
        if (value.size() > maxValueLength) {
            encoded.problem = FormatText::tr("%1 is too long").arg(FormatText::valueName(i));
            return encoded;
        }
        // A byte-order mark first in the file would make the reader doubt it.
        const bool needsQuotes =
            value.contains(u',') || value.contains(u'\r') || value.contains(u'\n') ||
            (i == 0 && value.startsWith(QChar(0xFEFF))) ||
            (!value.isEmpty() && (isBlank(value.front().unicode()) || isBlank(value.back().unicode())));
        if (value.contains(QChar(0))) {
            encoded.problem = FormatText::tr("%1 holds a NUL character, which the file cannot store")
                                  .arg(FormatText::valueName(i));
            return encoded;
        }
        if (value.startsWith(u'"') || (needsQuotes && value.contains(u'"'))) {
            encoded.problem = FormatText::tr("%1 holds a double quote, which the file cannot store there")
                                  .arg(FormatText::valueName(i));
            return encoded;
        }
        const QByteArray bytes = encoder(needsQuotes ? u'"' + value + u'"' : value);
        if (encoder.hasError() || !value.isValidUtf16()) {
            encoded.problem = FormatText::tr("%1 holds a character the system's encoding lacks")
                                  .arg(FormatText::valueName(i));
            return encoded;
        }
        encoded.bytes += bytes + "\r\n";
    }
    return encoded;
}

} // namespace orbisk
