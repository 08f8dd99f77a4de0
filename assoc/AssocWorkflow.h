#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace lumora
{
class Prompter;
}

namespace lumora::assoc
{

class ModAssoc;

// The question asked when some types were taken by other programs; the list
// of their entries follows after a line break.
inline constexpr const char *kNoMoreAssociatedQuestion =
    "The following image types are no more associated with Lumora, Do you want to associate them "
    "now?";

// The types not associated with the program, as the entries of their rows
// in table order (" gif  png ").
QString missingTypes(ModAssoc &assoc);

// After the types were claimed: for each type the desktop still gives to
// another program and the user was not told about, the file that decides, as
// one text (empty when there is nothing new to say). Each one told is
// remembered until that file changes.
QString reportRefusals(ModAssoc &assoc);

// At every start without a switch and for "/Associate": on the very first
// run the types are registered and associated without a word; later the user
// is asked only when some type is no more associated. `beforeAsking` runs
// just before the question or a notice, when there is one. A type the
// desktop would not give the program is named once in a notice and not
// asked for again until what decided changes.
void CheckAssociations(ModAssoc &assoc, Prompter &prompter, QWidget *parent = nullptr,
                       const std::function<void()> &beforeAsking = {});

// For "/DeAssociate": every type goes back to its previous owner. The classes
// stay registered.
void DeAssociateTypes(ModAssoc &assoc);

} // namespace lumora::assoc
