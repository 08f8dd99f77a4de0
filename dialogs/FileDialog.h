#pragma once

#include <QString>

class QWidget;

namespace lumora
{

class Prompter;

// A file-dialog object that remembers its settings between uses, as a
// window keeps it for its lifetime: the filter index the user left selected
// is where the next use starts.
class FileDialog
{
public:
    // Option flags in their Windows values; only the overwrite prompt changes
    // what this platform's dialog does.
    static constexpr unsigned OverwritePrompt = 0x2;
    static constexpr unsigned HideReadOnly = 0x4;
    static constexpr unsigned EnableSizing = 0x800000;

    explicit FileDialog(int filterIndex = 1) : FilterIndex(filterIndex) {}

    int Mode = 0;
    QString DialogTitle = QStringLiteral("Save As");
    QString Filter;      // "Description|*.ext|..." pairs
    int FilterIndex = 1; // 1-based, read and written
    QString DefaultExt;  // without the dot
    unsigned Flags = 0;
    QString InitDir;  // where the dialog starts
    QString FileName; // the name to start with; after ShowSave, the full path chosen

    // Shows the save dialog; true when the user confirmed a file name, which
    // is then in FileName with the chosen entry in FilterIndex. A cancel
    // changes nothing.
    bool ShowSave(Prompter &prompter, QWidget *parent);
};

} // namespace lumora
