#pragma once

#include <QString>

#include <optional>

namespace lumora::platform
{

// Why the desktop still opens a type with another program after the program
// asked to be its default: the file that decides, in plain words.
struct DefaultRefusal {
    QString file;        // absolute path of the file that wins (or cannot be written)
    QString reason;      // a sentence naming that file and what stands in the way
    QString fingerprint; // changes whenever that file or its verdict does
};

// What the desktop itself does when a user opens a file: which program is
// known to it for which file types, and which one it starts by default.
// The association operations keep this in step with their registry rows,
// because no file manager reads those.
class DesktopAssociations
{
public:
    virtual ~DesktopAssociations() = default;

    // The name the desktop knows the program by ("lumora.desktop").
    virtual QString applicationId() const = 0;

    // Makes the program known to the desktop as the opener of its file
    // types, starting `programPath` (absolute) with the file, shown with
    // `iconPath`; file types the desktop does not know are declared. Writes
    // nothing when all is in place already. False when something could not
    // be written.
    virtual bool registerApplication(const QString &programPath, const QString &iconPath) = 0;

    // The desktop's MIME type for a file name extension (with or without the
    // dot); "" when it knows none.
    virtual QString mimeTypeForExtension(const QString &extension) = 0;

    // The application the desktop opens the type with by default; "" when
    // none is set or none of those set can be started.
    virtual QString defaultApplication(const QString &mimeType) = 0;

    // Makes the program the user's default for the type. `previous` receives
    // what the user's own settings held for it before, to be handed back to
    // restoreDefault(). False, with nothing changed, when it cannot be done.
    virtual bool makeDefault(const QString &mimeType, QString *previous) = 0;

    // Puts `previous` back in place of the program's own default for the
    // type (nothing set when it is empty). Leaves a default that is not the
    // program's alone. False when the settings could not be written.
    virtual bool restoreDefault(const QString &mimeType, const QString &previous) = 0;

    // Why the type's default is not the program, when it is not: the file
    // that decides before anything the program may write, a settings file
    // that cannot be written, or one that is a link to nothing. Nothing when
    // the program is the default.
    virtual std::optional<DefaultRefusal> refusal(const QString &mimeType) = 0;

    // Takes back what the program put in the user's own folders to be known
    // to the desktop (a desktop entry of its own and the cache made from it),
    // so the desktop chooses as though the program had never been there. An
    // installed program's entry is the system's and stays. False when
    // something could not be removed.
    virtual bool releaseApplication() = 0;

    // Tells the desktop that associations changed.
    virtual void notifyChanged() = 0;
};

} // namespace lumora::platform
