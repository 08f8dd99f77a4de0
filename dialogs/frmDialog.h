#pragma once

#include <QDialog>
#include <QHash>
#include <QMap>
#include <QRect>
#include <QSet>
#include <QVariant>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace lumora
{

class ColorButton;
class Prompter;
class Skin;

// A small modal dialog its caller assembles one row at a time: a caption and
// one input control per row, an OK / Cancel strip below, the window growing
// as rows are added. The caller reads the row controls after it closes.
//
// Geometry is kept in twips as the layout is laid out in them; the widgets
// get the pixel equivalent on this screen.
class frmDialog : public QDialog
{
    Q_OBJECT
public:
    enum ControlKind { TextRow = 0, ColorRow = 1, ListRow = 2, CheckRow = 3, OptionRow = 4 };
    static constexpr int kMaxRows = 32767;

    // `prompter` shows the colour chooser, `skin` dresses the window; either
    // may be null (no chooser, no dressing).
    frmDialog(Prompter *prompter, const Skin *skin, QWidget *owner);
    ~frmDialog() override;

    // Adds one row below the existing ones and grows the window. Kinds
    // outside 0..4 give a caption-only row.
    void AddControl(const QString &Caption, const QVariant &Default, int ControlType);
    bool Cancelled() const { return m_cancelled; }
    // Row n's text box shows only bullets for what is typed (to the screen
    // and to accessibility clients alike), offers no copy, and takes up to
    // maxLength characters.
    void maskText(int n, int maxLength);
    // Overwrites the text boxes' own buffers and empties them, undo history
    // and all; the destructor does it too.
    void wipeTexts();
    int rowCount() const { return m_rows; }

    // Row controls; null where row n has no control of that kind.
    QLabel *lblLabel(int n) const { return m_labels.value(n); }
    QLineEdit *txtText(int n) const { return m_texts.value(n); }
    ColorButton *cmdColor(int n) const { return m_colors.value(n); }
    QComboBox *cmbCombo(int n) const { return m_combos.value(n); }
    QCheckBox *chkCheck(int n) const { return m_checks.value(n); }
    QRadioButton *optOption(int n) const { return m_options.value(n); }
    QPushButton *cmdOK() const { return m_ok; }
    QPushButton *cmdCancel() const { return m_cancel; }
    QWidget *picBottom() const { return m_bottom; }

    // A control's place in twips (inside picBottom for the two buttons).
    QRect twipsGeometry(const QWidget *control) const { return m_twips.value(control); }
    int clientWidthTwips() const { return m_clientW; }
    int clientHeightTwips() const { return m_clientH; }

    // Dresses every control of `form` by its kind with the given skin.
    static void SkinForm(QWidget *form, const Skin *skin);

signals:
    // After the user changed a check box, list or colour of row Index.
    void ControlChanged(int Index, QWidget *ctrl);

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void place(QWidget *control, const QRect &twips);
    void layoutWindow();
    template <typename T> T *makeElement(QMap<int, T *> &array, int n, int top);
    void wireRow(int n, QWidget *control);
    void onColorClicked(int n);

    Prompter *m_prompter;
    bool m_cancelled = false;
    bool m_adding = false;
    int m_rows = 0;
    int m_clientW = 7590;
    int m_clientH = 3090;

    QMap<int, QLabel *> m_labels;
    QMap<int, QLineEdit *> m_texts;
    QMap<int, ColorButton *> m_colors;
    QMap<int, QComboBox *> m_combos;
    QMap<int, QCheckBox *> m_checks;
    QMap<int, QRadioButton *> m_options;
    QWidget *m_bottom = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QWidget *m_lastInput = nullptr; // the last row's input control, for Tab
    QHash<const QWidget *, QRect> m_twips;
    QSet<const QLineEdit *> m_masked;
};

} // namespace lumora
