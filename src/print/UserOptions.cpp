#include "UserOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cctype>

namespace tessaly {

namespace {

struct Span {
    int start, end;
};

// Words of a line as CUPS splits them: quotes, braces and backslashes hold spaces in.
QList<Span> Words(const QByteArray &line)
{
    QList<Span> words;
    const int n = int(line.size());
    int i = 0;
    while (i < n) {
        while (i < n && std::isspace(uchar(line[i])))
            ++i;
        if (i >= n)
            break;
        const int start = i;
        char quote = 0;
        int depth = 0;
        for (; i < n; ++i) {
            const char c = line[i];
            if (c == '\\' && i + 1 < n)
                ++i;
            else if (quote)
                quote = c == quote ? 0 : quote;
            else if (c == '\'' || c == '"')
                quote = c;
            else if (c == '{')
                ++depth;
            else if (c == '}' && depth > 0)
                --depth;
            else if (!depth && std::isspace(uchar(c)))
                break;
        }
        words.append({start, i});
    }
    return words;
}

QByteArray Word(const QByteArray &line, Span s) { return line.mid(s.start, s.end - s.start); }

QByteArray OptionName(const QByteArray &word)
{
    const int eq = int(word.indexOf('='));
    return eq < 0 ? word : word.left(eq);
}

bool IsEntryOf(const QByteArray &line, const QByteArray &dest)
{
    const QList<Span> w = Words(line);
    if (w.size() < 2)
        return false;
    const QByteArray keyword = Word(line, w[0]).toLower();
    return (keyword == "dest" || keyword == "default") && Word(line, w[1]).compare(dest, Qt::CaseInsensitive) == 0;
}

QByteArray Quoted(const QByteArray &value)
{
    bool plain = !value.isEmpty();
    for (char c : value)
        plain = plain && !std::isspace(uchar(c)) && !QByteArray("\\\"'{}").contains(c);
    if (plain)
        return value;
    QByteArray q = "\"";
    for (char c : value)
        q += (c == '\\' || c == '"') ? QByteArray("\\") + c : QByteArray(1, c);
    return q + '"';
}

// The line without the options named in drop; with name=value in place of its old
// value when put (appended when it had none).
QByteArray Rewritten(const QByteArray &line, const QByteArray &name, const QByteArray &value, bool put,
                     std::initializer_list<const char *> drop)
{
    const QList<Span> w = Words(line);
    QByteArray out = line.left(w[1].end);
    bool placed = false;
    for (int k = 2; k < w.size(); ++k) {
        const QByteArray option = OptionName(Word(line, w[k]));
        const QByteArray space = line.mid(w[k - 1].end, w[k].start - w[k - 1].end);
        if (option.compare(name, Qt::CaseInsensitive) == 0) {
            if (put && !placed)
                out += space + name + '=' + Quoted(value);
            placed = placed || put;
            continue;
        }
        bool dropped = false;
        for (const char *d : drop)
            dropped = dropped || option.compare(d, Qt::CaseInsensitive) == 0;
        if (!dropped)
            out += space + Word(line, w[k]);
    }
    if (put && !placed)
        out += ' ' + name + '=' + Quoted(value);
    return out + line.mid(w.last().end);
}

QList<QByteArray> ReadLines()
{
    QFile f(UserOptions::filePath());
    QList<QByteArray> lines;
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    const QByteArray text = f.readAll();
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        lines.append(text.mid(start, end - start));
        start = end;
    }
    return lines;
}

bool WriteLines(const QList<QByteArray> &lines)
{
    const QString path = UserOptions::filePath();
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray &line : lines)
        f.write(line);
    return f.commit();
}

}  // namespace

QString UserOptions::filePath()
{
    // libcups takes the home folder from HOME, as here.
    const QByteArray home = qgetenv("HOME");
    return (home.isEmpty() ? QDir::homePath() : QFile::decodeName(home)) + QStringLiteral("/.cups/lpoptions");
}

bool UserOptions::fileExists()
{
    return QFile::exists(filePath());
}

QList<QByteArray> UserOptions::entry(const QByteArray &dest)
{
    QList<QByteArray> mine;
    for (const QByteArray &line : ReadLines())
        if (IsEntryOf(line, dest))
            mine.append(line);
    return mine;
}

bool UserOptions::setOption(const QByteArray &dest, const QByteArray &name, const QByteArray &value,
                            std::initializer_list<const char *> replaced)
{
    QList<QByteArray> lines = ReadLines();
    int last = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (IsEntryOf(lines[i], dest))
            last = i;
    if (last < 0) {
        if (!lines.isEmpty() && !lines.last().endsWith('\n'))
            lines.last() += '\n';
        lines.append("Dest " + dest + ' ' + name + '=' + Quoted(value) + '\n');
        return WriteLines(lines);
    }
    // CUPS reads every line of a destination, a later one overriding: the last one wins.
    for (int i = 0; i <= last; ++i)
        if (IsEntryOf(lines[i], dest))
            lines[i] = Rewritten(lines[i], name, value, i == last, replaced);
    return WriteLines(lines);
}

bool UserOptions::restoreEntry(const QByteArray &dest, const QList<QByteArray> &entry, bool fileExisted)
{
    const QList<QByteArray> before = ReadLines();
    QList<QByteArray> lines;
    bool placed = false;
    for (const QByteArray &line : before) {
        if (!IsEntryOf(line, dest)) {
            lines.append(line);
        } else if (!placed) {
            lines.append(entry);
            placed = true;
        }
    }
    if (!placed && !entry.isEmpty()) {
        if (!lines.isEmpty() && !lines.last().endsWith('\n'))
            lines.last() += '\n';
        lines.append(entry);
    }
    if (lines == before)
        return true;
    if (lines.isEmpty() && !fileExisted)
        return QFile::remove(filePath());
    return WriteLines(lines);
}

}  // namespace tessaly
