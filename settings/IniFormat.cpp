// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/IniFormat.h"

#include "settings/KeyTable.h"

#include <QFileDevice>
#include <QIODevice>
#include <QStringList>
#include <QStringTokenizer>
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace {

thread_local int WriteError = -1;

QString Escaped(const QString& value)
{
    QString text;
    text.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'\\')
            text += u"\\\\";
        else if (c == u'\n')
            text += u"\\n";
        else if (c == u'\r')
            text += u"\\r";
        else
            text += c;
    }
    return text;
}

// Unknown escapes stay as typed, so a hand-edited path keeps its backslashes.
QString Unescaped(QStringView text)
{
    QString value;
    value.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (text[i] == u'\\' && (next == u'\\' || next == u'n' || next == u'r')) {
            value += next == u'n' ? QChar(u'\n') : next == u'r' ? QChar(u'\r') : QChar(u'\\');
            ++i;
        } else {
            value += text[i];
        }
    }
    return value;
}

QString SectionOf(const QString& key)
{
    const qsizetype slash = key.indexOf(u'/');
    return slash < 0 ? QString() : key.first(slash);
}

void AppendSection(QByteArray& file, const QString& section, const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    if (!section.isEmpty())
        file += '[' + section.toUtf8() + "]\n";
    for (const QString& line : lines)
        file += line.toUtf8() + '\n';
    file += '\n';
}

} // namespace

QSettings::Format ReadableIniFormat()
{
    static const QSettings::Format format = QSettings::registerFormat("ini", ReadIniText, WriteIniText);
    return format;
}

bool ReadIniText(QIODevice& device, QSettings::SettingsMap& map)
{
    QString text = QString::fromUtf8(device.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QString section;
    for (QStringView line : QStringTokenizer(text, u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringView trimmed = line.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']') && trimmed.size() >= 2) {
            section = trimmed.sliced(1, trimmed.size() - 2).trimmed().toString();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0 || trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
            continue;
        const QString name = line.first(equals).trimmed().toString();
        if (name.isEmpty())
            continue;
        map.insert(section.isEmpty() ? name : section + u'/' + name, Unescaped(line.sliced(equals + 1)));
    }
    return true;
}

bool WriteIniText(QIODevice& device, const QSettings::SettingsMap& map)
{
    // Values that are not in the table (a later version's, a hand-edited file's) are kept: they follow
    // the known ones of their section, and their own sections follow the known sections.
    QStringList sections{QString()};
    for (const TKeyInfo& info : KeyTable())
        if (!sections.contains(QLatin1String(info.Section)))
            sections.append(QLatin1String(info.Section));
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        if (!sections.contains(SectionOf(it.key())))
            sections.append(SectionOf(it.key()));

    QByteArray file;
    for (const QString& section : sections) {
        const QString prefix = section.isEmpty() ? QString() : section + u'/';
        QStringList lines, known;
        for (const TKeyInfo& info : KeyTable()) {
            if (section != QLatin1String(info.Section))
                continue;
            const QString key = prefix + QLatin1String(info.Name);
            known.append(key);
            if (const auto it = map.constFind(key); it != map.cend())
                lines.append(QLatin1String(info.Name) + u'=' + Escaped(it->toString()));
        }
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            if (SectionOf(it.key()) == section && !known.contains(it.key()))
                lines.append(it.key().sliced(prefix.size()) + u'=' + Escaped(it->toString()));
        AppendSection(file, section, lines);
    }
    errno = 0;
    bool written = device.write(file) == file.size();
    if (auto* disk = qobject_cast<QFileDevice*>(&device); written && disk != nullptr)
        written = disk->flush() && fdatasync(disk->handle()) == 0;
    WriteError = written ? 0 : (errno != 0 ? errno : EIO);
    return written;
}

int TakeIniWriteError()
{
    return std::exchange(WriteError, -1);
}
