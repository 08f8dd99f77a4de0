#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace lumora::platform
{

// A mimeapps.list held as the bytes it was read from, edited line by line.
// Only the lines of one MIME type in the "[Default Applications]" group are
// ever touched; every other byte (comments, foreign groups and keys, odd
// spacing, line ends, even lines that do not parse) is kept as it was.
class MimeAppsList
{
public:
    static constexpr const char *kDefaultGroup = "Default Applications";

    explicit MimeAppsList(const QByteArray &bytes = {});

    QByteArray bytes() const;

    // The type's lines in "[Default Applications]" groups, in file order,
    // exactly as written (without their line end).
    QList<QByteArray> defaultLines(const QByteArray &mimeType) const;
    // The desktop ids of the first such line, as the desktop's tools read it.
    QStringList defaultIds(const QByteArray &mimeType) const;

    // Makes `lines` the type's default lines. With as many lines as there are
    // now, each is replaced where it stands; extra old lines go, extra new
    // ones follow the last kept one, or the group header when there was none.
    // A missing group is added at the end.
    void replaceDefaultLines(const QByteArray &mimeType, const QList<QByteArray> &lines);

    // The desktop ids a "type=id;id;" line names.
    static QStringList idsOf(const QByteArray &line);
    // "type=id;"
    static QByteArray entryLine(const QByteArray &mimeType, const QString &desktopId);

private:
    struct Line {
        QByteArray text; // without the line end
        QByteArray end;  // "\n", "\r\n" or "" for a last line without one
    };
    static bool isHeader(const QByteArray &text, QByteArray *name);
    static bool keyOf(const QByteArray &text, QByteArray *key, QByteArray *value);
    QList<int> defaultLineIndexes(const QByteArray &mimeType) const;

    QList<Line> m_lines;
};

} // namespace lumora::platform
