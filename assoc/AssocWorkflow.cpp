#include "assoc/AssocWorkflow.h"

#include "assoc/AssocTypes.h"
#include "assoc/ModAssoc.h"
#include "dialogs/Prompter.h"

#include <QHash>

namespace lumora::assoc
{

namespace
{

void associateAll(ModAssoc &assoc)
{
    for (const AssocType &t : kAssocTypes)
        assoc.AssociateExtension(QLatin1String(t.extension), QLatin1String(t.progId));
}

} // namespace

QString missingTypes(ModAssoc &assoc)
{
    QString missing;
    for (const AssocType &t : kAssocTypes) {
        const QString ext = QLatin1String(t.extension);
        // A type the desktop would not give us, as the user was told, is not
        // asked for again until what stood in the way changes.
        if (assoc.IsAssociated(ext, QLatin1String(t.progId)) != 1 && !assoc.refusalStands(ext))
            missing += QLatin1String(t.entry);
    }
    return missing;
}

QString reportRefusals(ModAssoc &assoc)
{
    // Each type judged once (".jpg" and ".jpeg" share one), then every row
    // of a newly refused type named under the file that decided, in table
    // order.
    QHash<QString, std::optional<platform::DefaultRefusal>> fresh;
    for (const AssocType &t : kAssocTypes) {
        const QString ext = QLatin1String(t.extension);
        const QString type = assoc.desktopMimeType(ext);
        if (type.isEmpty() || fresh.contains(type))
            continue;
        std::optional<platform::DefaultRefusal> r;
        if (assoc.IsAssociated(ext, QLatin1String(t.progId)) != 1)
            r = assoc.desktopRefusal(ext);
        if (!r)
            assoc.forgetRefusal(type);
        else if (assoc.refusalStands(ext))
            r.reset(); // told before, and nothing changed
        else
            assoc.rememberRefusal(type, r->fingerprint);
        fresh.insert(type, r);
    }
    QStringList reasons;
    QHash<QString, QString> entries;
    for (const AssocType &t : kAssocTypes) {
        const auto r = fresh.value(assoc.desktopMimeType(QLatin1String(t.extension)));
        if (!r)
            continue;
        if (!reasons.contains(r->reason))
            reasons << r->reason;
        entries[r->reason] += QLatin1String(t.entry).trimmed() + QLatin1Char(' ');
    }
    if (reasons.isEmpty())
        return {};
    QString text =
        QStringLiteral("Lumora could not become the program that opens some image types:\n");
    for (const QString &reason : reasons)
        text += QStringLiteral("\n") + entries[reason].trimmed() + QStringLiteral(": ") + reason +
                QLatin1Char('\n');
    text +=
        QStringLiteral("\nLumora will not ask about these types again until that file changes.");
    return text;
}

void CheckAssociations(ModAssoc &assoc, Prompter &prompter, QWidget *parent,
                       const std::function<void()> &beforeAsking)
{
    // The first row's class tells whether the types were ever registered.
    const bool firstRun = assoc
                              .GetRegString(platform::HKEY_CLASSES_ROOT,
                                            QStringLiteral("Lumora.jpg"), QString(), QString())
                              .isEmpty();
    if (!firstRun) {
        const QString missing = missingTypes(assoc);
        // Nothing missing: the association pass below finds every row in
        // place and writes nothing.
        if (missing.isEmpty()) {
            associateAll(assoc);
            return;
        }
        if (beforeAsking)
            beforeAsking();
        const Prompter::Answer answer = prompter.message(
            parent, QLatin1String(kNoMoreAssociatedQuestion) + QStringLiteral("\r\n") + missing,
            Prompter::Icon::Question, Prompter::Buttons::YesNo);
        if (answer != Prompter::Answer::Yes)
            return;
    }
    // The folder without its trailing separator, then the row's icon.
    QString folder = assoc.GetAppFolder();
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    for (const AssocType &t : kAssocTypes)
        assoc.RegisterProgID(QLatin1String(t.progId), QLatin1String(t.description),
                             QStringLiteral("open"), folder + QLatin1String(t.icon));
    associateAll(assoc);
    // What the desktop now reports: a default it would not give us is said
    // once, in words, instead of a question that returns at every start.
    const QString refused = reportRefusals(assoc);
    if (!refused.isEmpty()) {
        if (beforeAsking)
            beforeAsking();
        prompter.message(parent, refused, Prompter::Icon::Information, Prompter::Buttons::Ok);
    }
}

void DeAssociateTypes(ModAssoc &assoc)
{
    for (const AssocType &t : kAssocTypes)
        assoc.RestoreExtension(QLatin1String(t.extension), QLatin1String(t.progId));
    // Our own entry in the user's folders would keep the desktop choosing us
    // for every type no one else claims; it goes with the types.
    assoc.releaseDesktop();
    for (const AssocType &t : kAssocTypes)
        assoc.forgetRefusal(assoc.desktopMimeType(QLatin1String(t.extension)));
}

} // namespace lumora::assoc
