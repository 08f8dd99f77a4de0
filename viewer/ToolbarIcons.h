#pragma once

#include <QIcon>
#include <QString>

namespace lumora
{

// The viewer's toolbar pictures, drawn as simple light line art that reads
// well on the dark skin and needs no icon theme. Keys are the buttons' keys
// ("open32", "next32", ...); an unknown key gives an empty icon.
QIcon toolbarIcon(const QString &key);

} // namespace lumora
