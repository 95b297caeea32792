#include "settings/settingsfile.h"

#include "engine/defaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orbisk {
namespace {

// A text box holds at most this many characters; a longer value could not be shown whole.
constexpr qsizetype maxValueLength = 32767;
constexpr qsizetype maxValueBytes = 4 * maxValueLength;

const QStringList valueNames = {"the name of leg 1", "the name of leg 2", "the name of leg 3",
                                "the bid of leg 1",  "the bid of leg 2",  "the bid of leg 3",
                                "the ask of leg 1",  "the ask of leg 2",  "the ask of leg 3"};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Sequential bytes from the file, fetched in small blocks so that nothing after the ninth
// field is read.
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
        return c;
    }
    [[nodiscard]] bool failed() const { return m_failed; }

private:
    bool refill()
    {
        if (m_failed)
            return false;
        m_buffer = m_device.read(4096);
        m_pos = 0;
        if (m_buffer.isEmpty() && !m_device.atEnd()) {
            m_failed = true;
            m_buffer.clear();
        }
        return !m_buffer.isEmpty();
    }

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_failed = false;
};

// Consumes one line end (CR LF, CR or LF) or comma if one is next; reports whether it did.
bool consumeDelimiter(ByteSource &in)
{
    const int c = in.peek();
    if (c == ',' || c == '\n') {
        in.get();
        return true;
    }
    if (c == '\r') {
        in.get();
        if (in.peek() == '\n')
            in.get();
        return true;
    }
    return false;
}

enum class FieldStatus { Read, EndOfFile, Unclosed, TooLong };

FieldStatus readField(ByteSource &in, QByteArray &value)
{
    value.clear();
    while (isBlank(static_cast<char>(in.peek())))
        in.get();
    if (in.peek() < 0)
        return FieldStatus::EndOfFile;

    if (in.peek() == '"') {
        in.get();
        for (int c = in.get(); c != '"'; c = in.get()) {
            if (c < 0)
                return FieldStatus::Unclosed;
            if (value.size() == maxValueBytes)
                return FieldStatus::TooLong;
            value += static_cast<char>(c);
        }
        while (in.peek() >= 0 && !consumeDelimiter(in))
            in.get(); // text after the closing quote belongs to no value
        return FieldStatus::Read;
    }

    for (int c = in.peek(); c >= 0 && c != ',' && c != '\r' && c != '\n'; c = in.peek()) {
        if (value.size() == maxValueBytes)
            return FieldStatus::TooLong;
        value += static_cast<char>(in.get());
    }
    while (!value.isEmpty() && isBlank(value.back()))
        value.chop(1);
    consumeDelimiter(in);
    return FieldStatus::Read;
}

bool isText(const QString &value)
{
    return std::none_of(value.begin(), value.end(), [](QChar c) {
        return c.category() == QChar::Other_Control && c != u'\t' && c != u'\r' && c != u'\n';
    });
}

// QSaveFile writes to "<name>.XXXXXX" beside the file; a save killed part-way leaves it behind.
// One untouched for a minute belongs to no save still running.
void removeStaleSaves(const QString &path)
{
    const QFileInfo saved(path);
    const QRegularExpression temporary(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(saved.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-60);
    const QFileInfoList entries = saved.dir().entryInfoList({saved.fileName() + QStringLiteral(".*")},
                                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (temporary.match(entry.fileName()).hasMatch() && !entry.isSymLink() &&
            entry.lastModified() < stale)
            QFile::remove(entry.filePath());
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
    const QStringList all = values.mid(0, settingsValueCount) + initialSettings().mid(values.size());
    SettingsRecord record;
    for (int leg = 0; leg < legCount; ++leg) {
        record.names[leg] = all[leg];
        record.bids[leg] = all[legCount + leg];
        record.asks[leg] = all[2 * legCount + leg];
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

QString SettingsLocation::readPath() const
{
    return !userFile.isEmpty() && QFileInfo(userFile).isFile() ? userFile : programFile;
}

SettingsLocation settingsLocation(const QString &programFolder, const QString &userConfigFolder)
{
    const QString name = QStringLiteral("orbisk.set");
    SettingsLocation location{QDir(programFolder).filePath(name)};
    // Asked with the effective rights: root that gave up overriding permissions cannot write
    // there, whatever access() says.
    if (::faccessat(AT_FDCWD, QFile::encodeName(programFolder).constData(), W_OK, AT_EACCESS) != 0)
        location.userFile = QDir(userConfigFolder).filePath(QStringLiteral("orbisk/") + name);
    return location;
}

SettingsLocation settingsLocation()
{
    return settingsLocation(QCoreApplication::applicationDirPath(),
                            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

std::optional<QString> saveSettings(const SettingsLocation &location, const QStringList &values)
{
    if (!location.userFile.isEmpty() && !QDir().mkpath(QFileInfo(location.userFile).path()))
        return QStringLiteral("its folder cannot be created");
    return writeSettings(location.writePath(), values);
}

SettingsRead readSettings(const QString &path)
{
    SettingsRead result;
    if (!QFileInfo(path).isFile())
        return result;
    result.present = true;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem = QStringLiteral("it cannot be opened (%1)").arg(file.errorString());
        return result;
    }
    SettingsRead fromFile = readSettings(file);
    fromFile.present = true;
    return fromFile;
}

SettingsRead readSettings(QIODevice &device)
{
    SettingsRead result;
    ByteSource in(device);
    QByteArray bytes;
    while (result.values.size() < settingsValueCount) {
        const QString &name = valueNames[result.values.size()];
        const FieldStatus status = readField(in, bytes);
        if (in.failed()) {
            result.problem = QStringLiteral("it cannot be read (%1)").arg(device.errorString());
            return result;
        }
        switch (status) {
        case FieldStatus::EndOfFile:
            result.problem = QStringLiteral("it holds only %1 of its %2 values")
                                 .arg(result.values.size())
                                 .arg(settingsValueCount);
            return result;
        case FieldStatus::Unclosed:
            result.problem = QStringLiteral("the quotes around %1 are not closed").arg(name);
            return result;
        case FieldStatus::TooLong:
            result.problem = QStringLiteral("%1 is too long").arg(name);
            return result;
        case FieldStatus::Read:
            break;
        }
        QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
        const QString value = decoder(bytes);
        if (decoder.hasError() || !isText(value)) {
            result.problem = QStringLiteral("%1 is not text").arg(name);
            return result;
        }
        if (value.size() > maxValueLength) {
            result.problem = QStringLiteral("%1 is too long").arg(name);
            return result;
        }
        result.values.append(value);
    }
    return result;
}

EncodedSettings encodeSettings(const QStringList &values)
{
    EncodedSettings encoded;
    QStringEncoder encoder(QStringEncoder::System);
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString &value = values[i];
        const bool needsQuotes =
            value.contains(u',') || value.contains(u'\r') || value.contains(u'\n') ||
            (!value.isEmpty() && (isBlank(value.front().toLatin1()) || isBlank(value.back().toLatin1())));
        if (value.startsWith(u'"') || (needsQuotes && value.contains(u'"'))) {
            encoded.problem = QStringLiteral("%1 holds a double quote, which the file cannot store there")
                                  .arg(valueNames.value(i));
            return encoded;
        }
        const QByteArray bytes = encoder(needsQuotes ? u'"' + value + u'"' : value);
        if (encoder.hasError()) {
            encoded.problem =
                QStringLiteral("%1 holds a character the system's encoding lacks").arg(valueNames.value(i));
            return encoded;
        }
        encoded.bytes += bytes + "\r\n";
    }
    return encoded;
}

std::optional<QString> writeSettings(const QString &path, const QStringList &values)
{
    const EncodedSettings encoded = encodeSettings(values);
    if (!encoded.problem.isEmpty())
        return encoded.problem;
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    // Unbuffered: QSaveFile (Qt 6.4) renames the temporary file into place even when flushing
    // its buffer fails, which would replace good settings with a truncated file on a full disk.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    errno = 0;
    if (file.write(encoded.bytes) != encoded.bytes.size()) {
        // A short write sets no device error; the system's reason is still in errno.
        const QString error = errno != 0 ? qt_error_string(errno) : file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    removeStaleSaves(path);
    return std::nullopt;
}

} // namespace orbisk
