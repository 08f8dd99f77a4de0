#include "assoc/AssocWorkflow.h"

#include "assoc/AssocTypes.h"
#include "assoc/ModAssoc.h"
#include "dialogs/Prompter.h"

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
        if (assoc.IsAssociated(QLatin1String(t.extension), QLatin1String(t.progId)) != 1)
            missing += QLatin1String(t.entry);
    }
    return missing;
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
}

void DeAssociateTypes(ModAssoc &assoc)
{
    for (const AssocType &t : kAssocTypes)
        assoc.RestoreExtension(QLatin1String(t.extension), QLatin1String(t.progId));
}

} // namespace lumora::assoc
