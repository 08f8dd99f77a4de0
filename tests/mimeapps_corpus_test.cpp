// Many generated mimeapps.list files, each taken through a first start, a
// second start and "/DeAssociate": whatever is not ours stays byte for byte,
// the defaults are exactly the expected ones, and the desktop's own tool
// agrees.
#include "assoc/AssocTypes.h"
#include "assoc/AssocWorkflow.h"
#include "assoc/ModAssoc.h"
#include "platform/MimeAppsList.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/SqliteRegistryStore.h"
#include "platform/linux/FreedesktopAssociations.h"
#include "support/ScriptedPrompter.h"
#include "support/XdgSandbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

using namespace lumora;
using namespace lumora::platform;

namespace
{

struct RawLine {
    QByteArray text, end;
};

QList<RawLine> splitLines(const QByteArray &bytes)
{
    QList<RawLine> out;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', start);
        if (nl < 0) {
            out.push_back({bytes.mid(start), {}});
            break;
        }
        out.push_back({bytes.mid(start, nl - start), "\n"});
        start = nl + 1;
    }
    return out;
}

// The group a line opens, by the key-file rules: "[name]" with blanks around.
bool header(const QByteArray &text, QByteArray *name)
{
    const QByteArray t = text.trimmed();
    if (t.size() < 2 || t[0] != '[' || t[t.size() - 1] != ']')
        return false;
    *name = t.mid(1, t.size() - 2);
    return true;
}

QByteArray keyOf(const QByteArray &text)
{
    const QByteArray t = text.trimmed();
    if (t.startsWith('#') || t.indexOf('=') <= 0)
        return {};
    return t.left(t.indexOf('=')).trimmed();
}

// Splits a file into the lines that are not ours to touch and the number of
// default lines each of `types` has.
struct Reading {
    QList<QByteArray> foreign; // text + end, in order
    QMap<QByteArray, int> ours;
    QMap<QByteArray, QList<QByteArray>> ourText;
    bool hasDefaults = false;
};

Reading readFile(const QByteArray &bytes, const QSet<QByteArray> &types)
{
    Reading r;
    bool inDefaults = false;
    for (const RawLine &l : splitLines(bytes)) {
        QByteArray name;
        if (header(l.text, &name)) {
            inDefaults = name == "Default Applications";
            r.hasDefaults = r.hasDefaults || inDefaults;
        } else if (inDefaults && types.contains(keyOf(l.text))) {
            r.ours[keyOf(l.text)]++;
            r.ourText[keyOf(l.text)] << l.text;
            continue;
        }
        r.foreign << l.text + l.end;
    }
    return r;
}

const char *const kForeignTypes[] = {"text/plain", "application/pdf", "video/mp4", "image/webp",
                                     "image/svg+xml"};
const char *const kApps[] = {"eog.desktop",   "gimp.desktop", "feh.desktop",
                             "other.desktop", "vim.desktop",  "not-installed.desktop"};

QByteArray generate(std::mt19937 &rng, const QList<QByteArray> &ourTypes)
{
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    auto app = [&] { return QByteArray(kApps[pick(6)]); };
    auto type = [&]() -> QByteArray {
        return pick(3) == 0 ? QByteArray(kForeignTypes[pick(5)])
                            : ourTypes[pick(int(ourTypes.size()))];
    };
    auto keyLine = [&]() -> QByteArray {
        const QByteArray k = type();
        switch (pick(7)) {
        case 0:
            return k + "=" + app() + ";";
        case 1:
            return k + "=" + app() + ";" + app() + ";";
        case 2:
            return k + " = " + app() + " ;";
        case 3:
            return k + "=" + app();
        case 4:
            return "  " + k + "=\t" + app() + ";";
        case 5:
            return k + "=";
        default:
            return k + "=" + app() + ";" + app();
        }
    };
    const QByteArray eol = pick(4) == 0 ? "\r\n" : "\n";
    QList<QByteArray> lines;
    const int count = pick(30);
    for (int i = 0; i < count; ++i) {
        switch (pick(12)) {
        case 0:
            lines << "[Default Applications]";
            break;
        case 1:
            lines << (pick(2) ? "[Added Associations]" : "[Removed Associations]");
            break;
        case 2:
            lines << (pick(2) ? "[X-Custom Group]" : "[Default Applications]  ");
            break;
        case 3:
            lines << "# comment " + QByteArray::number(i);
            break;
        case 4:
            lines << (pick(2) ? QByteArray() : QByteArray("   "));
            break;
        case 5:
            lines << (pick(2) ? QByteArray("garbage without equals")
                              : QByteArray("\xff\xfe odd \x01 bytes=", 18));
            break;
        case 6:
            lines << "=novalue";
            break;
        default:
            lines << keyLine();
            break;
        }
    }
    QByteArray out;
    for (int i = 0; i < lines.size(); ++i) {
        out += lines[i];
        const bool last = i + 1 == lines.size();
        if (!last || pick(4) != 0)
            out += (pick(8) == 0 ? QByteArray("\n") : eol);
    }
    return out;
}

} // namespace

TEST(MimeAppsCorpus, ForeignBytesStayAndDefaultsAreExact)
{
    test::XdgSandbox xdg;
    ProcessCommandRunner runner;
    FreedesktopAssociations desktop(xdg.dirs(), runner, assoc::associatedExtensions());
    const QString program = QCoreApplication::applicationFilePath();

    // Our types as the desktop names them (".tla" gets a type of ours).
    desktop.registerApplication(program, QString());
    QList<QByteArray> ourTypes;
    for (const QString &e : assoc::associatedExtensions()) {
        const QByteArray t = desktop.mimeTypeForExtension(e).toUtf8();
        ASSERT_FALSE(t.isEmpty()) << e.toStdString();
        if (!ourTypes.contains(t))
            ourTypes << t;
    }
    ASSERT_EQ(ourTypes.size(), 13); // jpg/jpeg and bmp/dib share theirs
    const QSet<QByteArray> typeSet(ourTypes.begin(), ourTypes.end());

    // The registries are thrown away at once; in memory-backed storage
    // their many small commits cost nothing.
    QTemporaryDir registries(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/lumora-corpus-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/lumora-corpus-XXXXXX"));
    ASSERT_TRUE(registries.isValid());

    constexpr int kFiles = 220;
    int xdgChecked = 0;
    for (int n = 0; n < kFiles; ++n) {
        SCOPED_TRACE(n);
        std::mt19937 rng(unsigned(n) * 7919u + 17u);
        const QByteArray original = generate(rng, ourTypes);
        const QString listPath = xdg.mimeAppsList();
        QFile::remove(listPath);
        // Every tenth user has no list at all.
        if (n % 10 != 9)
            xdg.dir.write(QStringLiteral("config/mimeapps.list"), original);
        const QByteArray before = n % 10 != 9 ? original : QByteArray();

        SqliteRegistryStore store(registries.filePath(QStringLiteral("registry-%1.db").arg(n)));
        assoc::ModAssoc ops(store, &desktop, program);
        test::ScriptedPrompter prompts;

        assoc::CheckAssociations(ops, prompts);
        ASSERT_TRUE(prompts.asked.isEmpty());
        QFile f(listPath);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray associated = f.readAll();
        f.close();

        const Reading was = readFile(before, typeSet);
        const Reading now = readFile(associated, typeSet);
        // Every foreign line in its place, byte for byte; only a last line
        // without a line end may have gained one, and a group of ours may
        // have been added at the end.
        QList<QByteArray> expectForeign = was.foreign;
        if (!expectForeign.isEmpty() && !expectForeign.last().endsWith('\n') &&
            now.foreign.size() >= expectForeign.size() &&
            now.foreign[expectForeign.size() - 1] == expectForeign.last() + "\n")
            expectForeign.last() += "\n";
        ASSERT_GE(now.foreign.size(), expectForeign.size());
        EXPECT_EQ(now.foreign.mid(0, expectForeign.size()), expectForeign);
        const QList<QByteArray> added = now.foreign.mid(expectForeign.size());
        if (was.hasDefaults) {
            EXPECT_TRUE(added.isEmpty());
        } else {
            EXPECT_TRUE(added == QList<QByteArray>{"[Default Applications]\n"} ||
                        added == (QList<QByteArray>{"\n", "[Default Applications]\n"}));
        }
        for (const QByteArray &t : ourTypes) {
            SCOPED_TRACE(t.toStdString());
            EXPECT_EQ(now.ours.value(t), std::max(1, was.ours.value(t)));
            for (QByteArray line : now.ourText.value(t)) {
                if (line.endsWith('\r'))
                    line.chop(1); // the line keeps its CR LF end
                EXPECT_EQ(line.toStdString(), (t + "=lumora.desktop;").toStdString());
            }
            EXPECT_EQ(desktop.defaultApplication(QString::fromUtf8(t)),
                      QStringLiteral("lumora.desktop"));
        }
        // The desktop's own tool, on a share of the files and types.
        if (n % 8 == 0) {
            for (const QByteArray &t : ourTypes)
                EXPECT_EQ(xdg.xdgDefault(QString::fromUtf8(t)), QStringLiteral("lumora.desktop"))
                    << t.toStdString();
            ++xdgChecked;
        }

        // A second start changes nothing.
        assoc::CheckAssociations(ops, prompts);
        ASSERT_TRUE(prompts.asked.isEmpty());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), associated);
        f.close();

        assoc::DeAssociateTypes(ops);
        QByteArray expect = before;
        if (was.hasDefaults) {
            // Exactly the file there was, unless its group header was the
            // last line and had no line end.
            const QList<RawLine> lines = splitLines(before);
            int firstHeader = -1;
            for (int i = 0; i < lines.size() && firstHeader < 0; ++i) {
                QByteArray name;
                if (header(lines[i].text, &name) && name == "Default Applications")
                    firstHeader = i;
            }
            if (firstHeader == lines.size() - 1 && lines.last().end.isEmpty())
                expect += "\n";
        } else {
            if (!expect.isEmpty()) {
                if (!expect.endsWith('\n'))
                    expect += "\n";
                if (!splitLines(before).last().text.trimmed().isEmpty())
                    expect += "\n";
            }
            expect += "[Default Applications]\n";
        }
        // A list that would say nothing but an empty group is removed: to
        // every reader that is what a missing list says, and a user who had
        // none has none again.
        if (expect.trimmed() == "[Default Applications]") {
            EXPECT_FALSE(f.exists());
            continue;
        }
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray restored = f.readAll();
        f.close();
        EXPECT_EQ(restored, expect);
        EXPECT_EQ(readFile(restored, typeSet).ourText, was.ourText);
    }
    EXPECT_GE(xdgChecked, 25);
}
