#pragma once

#include <QString>

namespace lumora::platform
{

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

    // Tells the desktop that associations changed.
    virtual void notifyChanged() = 0;
};

} // namespace lumora::platform
