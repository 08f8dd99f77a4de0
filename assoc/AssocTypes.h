#pragma once

#include <QStringList>

#include <array>

namespace lumora::assoc
{

// One file type the program claims.
struct AssocType {
    const char *extension;   // ".jpg"
    const char *progId;      // "Lumora.jpg"
    const char *description; // "Lumora JPG image"
    const char *icon;        // below the program folder: "/icons/jpg.ico"
    const char *entry;       // in the list of types no more associated: " jpg "
};

// The fifteen types in the order every association loop walks them.
extern const std::array<AssocType, 15> kAssocTypes;

// Their extensions in that order (".jpg", ...).
QStringList associatedExtensions();

} // namespace lumora::assoc
