#include "platform/MimeAppsList.h"

#include <algorithm>

namespace lumora::platform
{

namespace
{

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArray trimmed(const QByteArray &s)
{
    qsizetype a = 0, b = s.size();
    while (a < b && isBlank(s[a]))
        ++a;
    while (b > a && isBlank(s[b - 1]))
        --b;
    return s.mid(a, b - a);
}

} // namespace

MimeAppsList::MimeAppsList(const QByteArray &bytes)
{
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', start);
        Line line;
        if (nl < 0) {
            line.text = bytes.mid(start);
            start = bytes.size();
        } else {
            line.text = bytes.mid(start, nl - start);
            line.end = "\n";
            start = nl + 1;
        }
        if (line.text.endsWith('\r') && !line.end.isEmpty()) {
            line.text.chop(1);
            line.end = "\r\n";
        }
        m_lines.push_back(line);
    }
}

QByteArray MimeAppsList::bytes() const
{
    QByteArray out;
    for (const Line &l : m_lines)
        out += l.text + l.end;
    return out;
}

bool MimeAppsList::isHeader(const QByteArray &text, QByteArray *name)
{
    const QByteArray t = trimmed(text);
    if (t.size() < 2 || !t.startsWith('[') || !t.endsWith(']'))
        return false;
    if (name)
        *name = t.mid(1, t.size() - 2);
    return true;
}

bool MimeAppsList::keyOf(const QByteArray &text, QByteArray *key, QByteArray *value)
{
    const QByteArray t = trimmed(text);
    if (t.isEmpty() || t.startsWith('#'))
        return false;
    const qsizetype eq = t.indexOf('=');
    if (eq <= 0)
        return false;
    *key = trimmed(t.left(eq));
    if (value)
        *value = trimmed(t.mid(eq + 1));
    return true;
}

QList<int> MimeAppsList::defaultLineIndexes(const QByteArray &mimeType) const
{
    QList<int> out;
    bool inDefaults = false;
    for (int i = 0; i < m_lines.size(); ++i) {
        QByteArray name;
        if (isHeader(m_lines[i].text, &name)) {
            inDefaults = name == kDefaultGroup;
            continue;
        }
        QByteArray key;
        if (inDefaults && keyOf(m_lines[i].text, &key, nullptr) && key == mimeType)
            out << i;
    }
    return out;
}

QList<QByteArray> MimeAppsList::defaultLines(const QByteArray &mimeType) const
{
    QList<QByteArray> out;
    for (int i : defaultLineIndexes(mimeType))
        out << m_lines[i].text;
    return out;
}

QStringList MimeAppsList::idsOf(const QByteArray &line)
{
    QByteArray key, value;
    QStringList ids;
    if (!keyOf(line, &key, &value))
        return ids;
    for (const QByteArray &part : value.split(';')) {
        const QByteArray id = trimmed(part);
        if (!id.isEmpty())
            ids << QString::fromUtf8(id);
    }
    return ids;
}

QStringList MimeAppsList::defaultIds(const QByteArray &mimeType) const
{
    const QList<int> idx = defaultLineIndexes(mimeType);
    return idx.isEmpty() ? QStringList() : idsOf(m_lines[idx.first()].text);
}

QByteArray MimeAppsList::entryLine(const QByteArray &mimeType, const QString &desktopId)
{
    return mimeType + '=' + desktopId.toUtf8() + ';';
}

void MimeAppsList::replaceDefaultLines(const QByteArray &mimeType, const QList<QByteArray> &lines)
{
    const QList<int> idx = defaultLineIndexes(mimeType);
    const int kept = int(std::min(idx.size(), lines.size()));
    for (int i = 0; i < kept; ++i)
        m_lines[idx[i]].text = lines[i];
    // Remove from the back so earlier indexes stay valid.
    for (int i = int(idx.size()) - 1; i >= kept; --i)
        m_lines.removeAt(idx[i]);
    if (lines.size() <= kept)
        return;

    int after = -1; // the line the new ones follow
    if (kept > 0) {
        after = idx[kept - 1];
    } else {
        for (int i = 0; i < m_lines.size(); ++i) {
            QByteArray name;
            if (isHeader(m_lines[i].text, &name) && name == kDefaultGroup) {
                after = i;
                break;
            }
        }
    }
    if (after < 0) {
        // No group yet: a blank line apart from what is there, then the group.
        if (!m_lines.isEmpty()) {
            if (m_lines.last().end.isEmpty())
                m_lines.last().end = "\n";
            if (!trimmed(m_lines.last().text).isEmpty())
                m_lines.push_back({QByteArray(), "\n"});
        }
        m_lines.push_back({QByteArray("[") + kDefaultGroup + ']', "\n"});
        after = int(m_lines.size()) - 1;
    }
    QByteArray end = m_lines[after].end;
    if (end.isEmpty()) {
        end = "\n";
        m_lines[after].end = end;
    }
    for (int i = kept; i < lines.size(); ++i)
        m_lines.insert(after + 1 + (i - kept), Line{lines[i], end});
}

} // namespace lumora::platform
