// Encrypting and decrypting the shown image under a key the user types.
#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "dialogs/frmDialog.h"

#include <QLineEdit>

namespace lumora
{

namespace
{
struct KeyPrompt {
    const char *caption;
    const char *row;
};
} // namespace

// Asks for a key in a fresh dialog; empty when cancelled or left empty.
static QString askKey(frmViwer *viewer, Prompter *prompter, const Skin *skin,
                      QPointer<QDialog> &holder, const KeyPrompt &words)
{
    auto *dialog = new frmDialog(prompter, skin, viewer);
    holder = dialog;
    dialog->setWindowTitle(QString::fromLatin1(words.caption));
    dialog->AddControl(QString::fromLatin1(words.row), QString(), frmDialog::TextRow);
    prompter->execDialog(viewer, *dialog);
    QString key;
    if (!dialog->Cancelled())
        key = dialog->txtText(0)->text();
    // The dialog goes at once; its boxes are wiped as it goes.
    delete dialog;
    return key;
}

void frmViwer::Encrypt()
{
    if (!m_ctx.prompter)
        return;
    QString key =
        askKey(this, m_ctx.prompter, m_ctx.skin, m_dialog, {"Encryption", "Encryption Key:"});
    if (key.isEmpty())
        return;
    const imaging::LoadResult r = ImgX->document()->EncryptImage(key, QString());
    key.fill(QLatin1Char(' '));
    if (!r.ok)
        m_ctx.prompter->message(this,
                                QStringLiteral("The image could not be encrypted. %1").arg(r.error),
                                Prompter::Icon::Critical);
}

void frmViwer::Decrypt()
{
    if (!m_ctx.prompter)
        return;
    QString key =
        askKey(this, m_ctx.prompter, m_ctx.skin, m_dialog, {"Decryption", "Decryption Key:"});
    if (key.isEmpty())
        return;
    const imaging::LoadResult r = ImgX->document()->DecryptImage(key, QString());
    key.fill(QLatin1Char(' '));
    // The image stays as it was; the user learns why.
    if (!r.ok)
        m_ctx.prompter->message(this,
                                QStringLiteral("The image could not be decrypted. %1").arg(r.error),
                                Prompter::Icon::Critical);
}

} // namespace lumora
