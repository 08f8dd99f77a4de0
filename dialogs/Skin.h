#pragma once

#include <QString>

class QWidget;

namespace lumora
{

// The program's look: a Qt style sheet read from the skin file. Skinning a
// widget "as element X" tags it with the property skinElement = X and gives
// it the sheet, whose selectors name those elements. A missing or unreadable
// skin leaves the default look; nothing here ever stops start-up.
class Skin
{
public:
    static constexpr const char *kProperty = "skinElement";

    // Returns false (and keeps no sheet) when the file cannot be read.
    bool LoadSkin(const QString &path);
    bool isLoaded() const { return !m_sheet.isEmpty(); }
    const QString &styleSheet() const { return m_sheet; }

    // Whole-window skinning of a top-level window.
    void ApplySkin(QWidget *window) const;
    // Skins one widget as the named element of the sheet.
    void ApplySkinByName(QWidget *widget, const QString &element) const;

private:
    QString m_sheet;
};

} // namespace lumora
