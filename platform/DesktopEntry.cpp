#include "platform/DesktopEntry.h"

#include "platform/XdgDirs.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace lumora::platform::DesktopEntry
{

namespace
{

// Characters that make an argument need quoting in an Exec line.
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

} // namespace

QString quoteArgument(const QString &path)
{
    bool needs = path.isEmpty();
    for (QChar c : path)
        needs = needs || isReserved(c);
    if (!needs)
        return path;
    QString out = QStringLiteral("\"");
    for (QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

QStringList splitCommand(const QString &command)
{
    QStringList out;
    QString cur;
    bool inArg = false, quoted = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < command.size()) {
                cur += command[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cur += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = inArg = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArg)
                out << cur;
            cur.clear();
            inArg = false;
        } else {
            cur += c;
            inArg = true;
        }
    }
    if (quoted)
        return {};
    if (inArg)
        out << cur;
    return out;
}

QString escapeValue(const QString &value)
{
    QString out;
    for (QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString unescapeValue(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value[++i];
            if (n == QLatin1Char('s'))
                out += QLatin1Char(' ');
            else if (n == QLatin1Char('n'))
                out += QLatin1Char('\n');
            else if (n == QLatin1Char('t'))
                out += QLatin1Char('\t');
            else if (n == QLatin1Char('r'))
                out += QLatin1Char('\r');
            else
                out += n;
        } else {
            out += value[i];
        }
    }
    return out;
}

const QStringList &openWithMimeTypes()
{
    // The names shared-mime-info gives these types; Samsung's RAW has none
    // there, so it keeps the name other programs use for it.
    static const QStringList types{
        QStringLiteral("image/webp"),         QStringLiteral("image/heif"),
        QStringLiteral("image/heic"),         QStringLiteral("image/avif"),
        QStringLiteral("image/jxl"),          QStringLiteral("image/x-canon-cr2"),
        QStringLiteral("image/x-nikon-nef"),  QStringLiteral("image/x-sony-arw"),
        QStringLiteral("image/x-adobe-dng"),  QStringLiteral("image/x-olympus-orf"),
        QStringLiteral("image/x-fuji-raf"),   QStringLiteral("image/x-panasonic-rw2"),
        QStringLiteral("image/x-pentax-pef"), QStringLiteral("image/x-samsung-srw")};
    return types;
}

QString build(const Contents &c)
{
    QString exec = quoteArgument(c.programPath);
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    QString s;
    s += QStringLiteral("[Desktop Entry]\n");
    s += QStringLiteral("Type=Application\n");
    s += QStringLiteral("Version=1.4\n");
    s += QStringLiteral("Name=Lumora\n");
    s += QStringLiteral("GenericName=Image Viewer\n");
    s += QStringLiteral(
        "Comment=Browse folders of pictures and view them one by one or as a slide show\n");
    s += QStringLiteral("Exec=") + escapeValue(exec) + QStringLiteral(" %f\n");
    s += QStringLiteral("Icon=") + escapeValue(c.iconPath) + QLatin1Char('\n');
    s += QStringLiteral("Terminal=false\n");
    s += QStringLiteral("StartupNotify=true\n");
    s += QStringLiteral("Categories=Graphics;Viewer;RasterGraphics;2DGraphics;Photography;Qt;\n");
    s += QStringLiteral("Keywords=picture;photo;image;viewer;slideshow;wallpaper;\n");
    // Tells this copy from one the user wrote, so that it can be taken back.
    s += QStringLiteral("X-Lumora-Written-By-Lumora=true\n");
    QString types;
    QStringList named;
    for (const QString &t : c.mimeTypes + openWithMimeTypes()) {
        if (named.contains(t))
            continue;
        named << t;
        types += t + QLatin1Char(';');
    }
    s += QStringLiteral("MimeType=") + types + QLatin1Char('\n');
    return s;
}

Parsed parse(const QByteArray &bytes)
{
    Parsed p;
    bool inMain = false;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inMain = line == "[Desktop Entry]";
            p.valid = p.valid || inMain;
            continue;
        }
        if (!inMain || line.startsWith('#'))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QString value = unescapeValue(QString::fromUtf8(line.mid(eq + 1).trimmed()));
        if (key == "Exec")
            p.exec = value;
        else if (key == "TryExec")
            p.tryExec = value;
        else if (key == "Hidden")
            p.hidden = value == QLatin1String("true");
        else if (key == "MimeType")
            p.mimeTypes = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return p;
}

QString findFile(const XdgDirs &dirs, const QString &desktopId)
{
    if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/')))
        return {};
    for (const QString &data : dirs.allDataDirs()) {
        const QString apps = data + QStringLiteral("/applications/");
        if (QFileInfo(apps + desktopId).isFile())
            return apps + desktopId;
        // "vendor-name.desktop" may live as "vendor/name.desktop".
        QString id = desktopId;
        for (qsizetype dash = id.indexOf(QLatin1Char('-')); dash > 0;
             dash = id.indexOf(QLatin1Char('-'), dash + 1)) {
            QString sub = id;
            sub[dash] = QLatin1Char('/');
            if (QFileInfo(apps + sub).isFile())
                return apps + sub;
        }
    }
    return {};
}

bool isUsable(const QString &file)
{
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly))
        return false;
    const Parsed p = parse(f.read(1 << 20));
    if (!p.valid || p.hidden)
        return false;
    const QStringList args = splitCommand(p.tryExec.isEmpty() ? p.exec : p.tryExec);
    if (args.isEmpty())
        return false;
    QString program = args.first();
    program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo fi(program);
        return fi.isFile() && fi.isExecutable();
    }
    return !QStandardPaths::findExecutable(program).isEmpty();
}

} // namespace lumora::platform::DesktopEntry
