#include "dialogs/frmDialog.h"

#include "dialogs/ColorButton.h"
#include "dialogs/Prompter.h"
#include "dialogs/Skin.h"
#include "imaging/Twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include <sodium.h>

namespace lumora
{

namespace
{
// Design places of element 0 of each control array, in twips.
const QRect kLabel0(180, 480, 1635, 255);
const QRect kText0(2100, 420, 5265, 315);
const QRect kColor0(2100, 420, 855, 315);
const QRect kCombo0(2100, 480, 3015, 315);
const QRect kCheck0(2085, 480, 2955, 255);
const QRect kOption0(2085, 480, 5265, 255);
const QRect kOK(1770, 225, 1335, 375);
const QRect kCancel(4470, 240, 1335, 375);
constexpr int kBottomHeight = 735;
constexpr int kRowGap = 190;

// A colour given as a number is the 0x00BBGGRR value colours have always
// been passed around as.
QColor colorFromDefault(const QVariant &v)
{
    if (v.canConvert<QColor>() && v.typeId() == QMetaType::QColor)
        return v.value<QColor>();
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok)
        return QColor(Qt::black);
    const auto bgr = quint32(n);
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}
} // namespace

frmDialog::frmDialog(Prompter *prompter, const Skin *skin, QWidget *owner)
    : QDialog(owner), m_prompter(prompter)
{
    setObjectName(QStringLiteral("frmDialog"));
    // Fixed border, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    auto *label = new QLabel(this);
    label->setObjectName(QStringLiteral("lblLabel"));
    place(label, kLabel0);
    label->hide();
    m_labels.insert(0, label);

    auto *text = new QLineEdit(this);
    text->setObjectName(QStringLiteral("txtText"));
    place(text, kText0);
    text->hide();
    m_texts.insert(0, text);

    auto *color = new ColorButton(this);
    color->setObjectName(QStringLiteral("cmdColor"));
    place(color, kColor0);
    color->hide();
    m_colors.insert(0, color);

    auto *combo = new QComboBox(this);
    combo->setObjectName(QStringLiteral("cmbCombo"));
    place(combo, kCombo0);
    combo->hide();
    m_combos.insert(0, combo);

    auto *check = new QCheckBox(this);
    check->setObjectName(QStringLiteral("chkCheck"));
    place(check, kCheck0);
    check->hide();
    m_checks.insert(0, check);

    auto *option = new QRadioButton(this);
    option->setObjectName(QStringLiteral("optOption"));
    place(option, kOption0);
    option->hide();
    m_options.insert(0, option);

    wireRow(0, text);
    wireRow(0, color);
    wireRow(0, combo);
    wireRow(0, check);

    m_bottom = new QWidget(this);
    m_bottom->setObjectName(QStringLiteral("picBottom"));
    m_ok = new QPushButton(QStringLiteral("OK"), m_bottom);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setDefault(true);
    m_ok->setAutoDefault(true);
    place(m_ok, kOK);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_bottom);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cancel->setAutoDefault(false);
    place(m_cancel, kCancel);
    connect(m_ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });

    layoutWindow();

    if (skin) {
        skin->ApplySkinByName(this, QStringLiteral("smallform"));
        skin->ApplySkinByName(m_cancel, QStringLiteral("Button"));
        skin->ApplySkinByName(m_ok, QStringLiteral("Button"));
        skin->ApplySkinByName(label, QStringLiteral("Label"));
    }
}

frmDialog::~frmDialog()
{
    // What was typed (a key, say) does not outlive the dialog in its boxes.
    wipeTexts();
}

void frmDialog::maskText(int n, int maxLength)
{
    QLineEdit *edit = m_texts.value(n);
    if (!edit)
        return;
    m_masked.insert(edit);
    edit->setEchoMode(QLineEdit::Password);
    edit->setInputMethodHints(edit->inputMethodHints() | Qt::ImhHiddenText | Qt::ImhSensitiveData |
                              Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    edit->setMaxLength(maxLength);
}

void frmDialog::wipeTexts()
{
    for (QLineEdit *t : std::as_const(m_texts)) {
        // text() hands out the box's own buffer (shared, not copied), so
        // writing through it zeroes the characters where the box keeps them;
        // setText then drops the buffer and the undo history with it.
        // Only masked boxes are zeroed in place: their text is the user's
        // secret, never a caller's string, and lives in memory of its own.
        QString shared = t->text();
        if (m_masked.contains(t) && shared.data_ptr().isMutable() && !shared.isEmpty()) {
            auto *chars = const_cast<QChar *>(shared.constData());
            sodium_memzero(chars, std::size_t(shared.size()) * sizeof(QChar));
        }
        t->setText(QString());
    }
}

void frmDialog::place(QWidget *control, const QRect &twips)
{
    m_twips.insert(control, twips);
    const Twips t = Twips::forScreen();
    control->setGeometry(t.toPixelsX(twips.x()), t.toPixelsY(twips.y()), t.toPixelsX(twips.width()),
                         t.toPixelsY(twips.height()));
}

void frmDialog::layoutWindow()
{
    place(m_bottom, QRect(0, m_clientH - kBottomHeight, m_clientW, kBottomHeight));
    const Twips t = Twips::forScreen();
    setFixedSize(t.toPixelsX(m_clientW), t.toPixelsY(m_clientH));
}

template <typename T> T *frmDialog::makeElement(QMap<int, T *> &array, int n, int top)
{
    T *first = array.value(0);
    T *element = new T(this);
    element->setObjectName(first->objectName());
    element->setFont(first->font());
    QRect r = m_twips.value(first);
    r.moveTop(top);
    place(element, r);
    element->hide();
    array.insert(n, element);
    return element;
}

void frmDialog::wireRow(int n, QWidget *control)
{
    if (auto *check = qobject_cast<QCheckBox *>(control)) {
        // clicked comes from the user only; setting the value by code stays quiet.
        connect(check, &QCheckBox::clicked, this, [this, n, check] {
            if (!m_adding)
                emit ControlChanged(n, check);
        });
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        connect(combo, &QComboBox::activated, this, [this, n, combo] {
            if (!m_adding)
                emit ControlChanged(n, combo);
        });
    } else if (qobject_cast<ColorButton *>(control)) {
        connect(static_cast<ColorButton *>(control), &QPushButton::clicked, this,
                [this, n] { onColorClicked(n); });
    }
}

void frmDialog::AddControl(const QString &Caption, const QVariant &Default, int ControlType)
{
    if (m_rows >= kMaxRows)
        return;
    const int n = m_rows;
    m_adding = true;

    QLabel *label = m_labels.value(0);
    if (n > 0) {
        QLabel *above = m_labels.value(n - 1);
        const QRect a = m_twips.value(above);
        label = makeElement(m_labels, n, a.y() + a.height() + kRowGap);
        const int top = m_twips.value(label).y();
        switch (ControlType) {
        case TextRow:
            wireRow(n, makeElement(m_texts, n, top));
            break;
        case ColorRow:
            wireRow(n, makeElement(m_colors, n, top));
            break;
        case ListRow:
            wireRow(n, makeElement(m_combos, n, top));
            break;
        case CheckRow:
            wireRow(n, makeElement(m_checks, n, top));
            break;
        case OptionRow:
            makeElement(m_options, n, top);
            break;
        default:
            break;
        }
    }

    if (ControlType != CheckRow && ControlType != OptionRow) {
        label->setText(Caption);
        label->show();
    }

    switch (ControlType) {
    case TextRow:
        m_texts.value(n)->setText(Default.toString());
        m_texts.value(n)->show();
        break;
    case ColorRow:
        m_colors.value(n)->setBackColor(colorFromDefault(Default));
        m_colors.value(n)->show();
        break;
    case ListRow:
        m_combos.value(n)->show();
        break;
    case CheckRow:
        m_checks.value(n)->setChecked(Default.toBool());
        m_checks.value(n)->show();
        m_checks.value(n)->setText(Caption);
        break;
    case OptionRow:
        m_options.value(n)->setChecked(Default.toBool());
        m_options.value(n)->show();
        m_options.value(n)->setText(Caption);
        break;
    default:
        break;
    }

    // Tab goes down the rows, then to OK and Cancel: rows made after the
    // buttons would otherwise come after them.
    QWidget *input = nullptr;
    switch (ControlType) {
    case TextRow:
        input = m_texts.value(n);
        break;
    case ColorRow:
        input = m_colors.value(n);
        break;
    case ListRow:
        input = m_combos.value(n);
        break;
    case CheckRow:
        input = m_checks.value(n);
        break;
    case OptionRow:
        input = m_options.value(n);
        break;
    default:
        break;
    }
    if (input) {
        if (m_lastInput)
            setTabOrder(m_lastInput, input);
        setTabOrder(input, m_ok);
        setTabOrder(m_ok, m_cancel);
        m_lastInput = input;
    }

    // The client area ends one gap below the last label, plus the strip.
    const QRect last = m_twips.value(label);
    m_clientH = last.y() + last.height() + kRowGap + kBottomHeight;
    layoutWindow();

    m_adding = false;
    ++m_rows;
}

void frmDialog::onColorClicked(int n)
{
    ColorButton *button = m_colors.value(n);
    if (!button || !m_prompter)
        return;
    // Cancelling the chooser keeps the colour and changes nothing.
    const std::optional<QColor> picked = m_prompter->chooseColor(this, button->backColor());
    if (!picked)
        return;
    button->setBackColor(*picked);
    if (!m_adding)
        emit ControlChanged(n, button);
}

void frmDialog::reject()
{
    m_cancelled = true;
    QDialog::reject();
}

void frmDialog::closeEvent(QCloseEvent *event)
{
    // The close box cancels and hides; the instance stays for the caller,
    // who reads it and then deletes it.
    if (isVisible())
        reject();
    event->ignore();
}

void frmDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The first row's control takes the typing.
    for (int n = 0; n < m_rows; ++n) {
        QWidget *candidates[] = {txtText(n), cmdColor(n), cmbCombo(n), chkCheck(n), optOption(n)};
        for (QWidget *w : candidates) {
            if (w && !w->isHidden()) {
                w->setFocus(Qt::OtherFocusReason);
                return;
            }
        }
    }
}

void frmDialog::SkinForm(QWidget *form, const Skin *skin)
{
    if (!form || !skin)
        return;
    const QList<QWidget *> controls = form->findChildren<QWidget *>();
    for (QWidget *w : controls) {
        if (qobject_cast<QPushButton *>(w))
            skin->ApplySkinByName(w, QStringLiteral("Button"));
        else if (qobject_cast<QLabel *>(w))
            skin->ApplySkinByName(w, QStringLiteral("label"));
        else if (qobject_cast<QCheckBox *>(w))
            skin->ApplySkinByName(w, QStringLiteral("CheckBox"));
        else if (qobject_cast<QRadioButton *>(w))
            skin->ApplySkinByName(w, QStringLiteral("Radio"));
        else if (qobject_cast<QStatusBar *>(w))
            skin->ApplySkinByName(w, QStringLiteral("Statusbar"));
    }
}

} // namespace lumora
