#include "platform/FileOperations.h"

namespace lumora::platform
{

FileOpRequest FileOpRequest::forOperation(int opType, const QStringList &sources,
                                          const QString &destination)
{
    FileOpRequest r;
    r.sources = sources;
    r.destination = destination;
    switch (opType) {
    case 1:
        r.function = Copy;
        break;
    case 2:
        r.function = Delete;
        r.flags = AllowUndo;
        r.destination.clear();
        break;
    case 3:
        r.function = Delete;
        r.destination.clear();
        break;
    case 4:
        r.function = Move;
        break;
    case 5:
        r.function = Rename;
        break;
    default:
        r.function = Function(0);
        break;
    }
    return r;
}

int FileOpRequest::operationCode() const
{
    switch (function) {
    case Copy:
        return 1;
    case Delete:
        return (flags & AllowUndo) ? 2 : 3;
    case Move:
        return 4;
    case Rename:
        return 5;
    }
    return 0;
}

namespace
{
constexpr char16_t kEscapeBase = 0xDC00; // + byte, for bytes 0x80-0xFF

// The length of the valid UTF-8 character at p (1-4), or 0.
int utf8Length(const uchar *p, qsizetype left, char32_t *cp)
{
    const uchar c = p[0];
    int n;
    char32_t v;
    if (c < 0x80) {
        *cp = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        v = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        v = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        v = c & 0x07;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        v = (v << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, encoded surrogates and values past Unicode are not valid.
    if ((n == 3 && v < 0x800) || (n == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
        (v >= 0xD800 && v <= 0xDFFF))
        return 0;
    *cp = v;
    return n;
}
} // namespace

QString pathFromBytes(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp;
        const int n = utf8Length(p + i, bytes.size() - i, &cp);
        if (n == 0) {
            out += QChar(char16_t(kEscapeBase + p[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(char16_t(cp));
        }
        i += n;
    }
    return out;
}

QByteArray pathBytes(const QString &path)
{
    QByteArray out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t u = path.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < path.size() &&
            QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            out += QString(path.mid(i, 2)).toUtf8();
            ++i;
        } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            out += char(u - kEscapeBase);
        } else if (QChar::isSurrogate(u)) {
            out += "\xEF\xBF\xBD"; // a stray surrogate no name can hold
        } else {
            out += QString(QChar(u)).toUtf8();
        }
    }
    return out;
}

QString displayPath(const QString &path)
{
    QString out = path;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t u = out.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < out.size() &&
            QChar::isLowSurrogate(out.at(i + 1).unicode())) {
            ++i;
        } else if (QChar::isSurrogate(u)) {
            out[i] = QChar::ReplacementCharacter;
        }
    }
    return out;
}

} // namespace lumora::platform
