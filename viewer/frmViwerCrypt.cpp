// Encrypting and decrypting the shown image under a key the user types.
#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "dialogs/frmDialog.h"
#include "imaging/ImageCipher.h"

#include <sodium.h>

#include <QLineEdit>

namespace lumora
{

namespace
{
struct KeyPrompt {
    const char *caption;
    const char *row;
    bool confirm; // a second row asks for the key once more
};

// Zeroes a string's characters where it keeps them, then empties it.
void wipe(QString &s)
{
    if (!s.isEmpty() && !s.data_ptr().needsDetach())
        sodium_memzero(s.data(), std::size_t(s.size()) * sizeof(QChar));
    s.clear();
}

// A copy of the box's text in memory of its own, so wiping the box and
// wiping the copy are two separate acts.
QString takeText(const QLineEdit *edit)
{
    const QString shared = edit->text();
    return QString(shared.constData(), shared.size());
}

struct Keys {
    bool given = false; // OK with a key typed
    QString key, confirmation;
    ~Keys()
    {
        wipe(key);
        wipe(confirmation);
    }
};
} // namespace

// Asks for a key in a fresh dialog of masked rows; nothing given when
// cancelled or left empty.
static void askKey(frmViwer *viewer, Prompter *prompter, const Skin *skin,
                   QPointer<QDialog> &holder, const KeyPrompt &words, Keys &keys)
{
    auto *dialog = new frmDialog(prompter, skin, viewer);
    holder = dialog;
    dialog->setWindowTitle(QString::fromLatin1(words.caption));
    dialog->AddControl(QString::fromLatin1(words.row), QString(), frmDialog::TextRow);
    // One more than the longest key taken, so a longer one is seen and
    // refused rather than cut short unseen.
    dialog->maskText(0, imaging::kMaxKeyLength + 1);
    if (words.confirm) {
        dialog->AddControl(QStringLiteral("Confirm Key:"), QString(), frmDialog::TextRow);
        dialog->maskText(1, imaging::kMaxKeyLength + 1);
    }
    prompter->execDialog(viewer, *dialog);
    if (!dialog->Cancelled()) {
        keys.key = takeText(dialog->txtText(0));
        if (words.confirm)
            keys.confirmation = takeText(dialog->txtText(1));
        keys.given = !keys.key.isEmpty();
    }
    // The dialog goes at once; its boxes are wiped as it goes.
    dialog->wipeTexts();
    delete dialog;
}

static bool keyTooLong(frmViwer *viewer, Prompter *prompter, const QString &key)
{
    if (key.size() <= imaging::kMaxKeyLength)
        return false;
    prompter->message(
        viewer,
        QStringLiteral("The key is longer than %1 characters. Please use a shorter key.")
            .arg(imaging::kMaxKeyLength),
        Prompter::Icon::Warning);
    return true;
}

void frmViwer::Encrypt()
{
    if (!m_ctx.prompter)
        return;
    imaging::ImageDocument *doc = ImgX->document();
    // Said before a key is asked for, which could not be used anyway.
    if (doc->isEmpty()) {
        m_ctx.prompter->message(this, QStringLiteral("There is no image to encrypt."),
                                Prompter::Icon::Information);
        return;
    }
    if (const QString problem = imaging::sealedSizeProblem(doc->currentImage());
        !problem.isEmpty()) {
        m_ctx.prompter->message(this, problem, Prompter::Icon::Warning);
        return;
    }
    Keys keys;
    askKey(this, m_ctx.prompter, m_ctx.skin, m_dialog, {"Encryption", "Encryption Key:", true},
           keys);
    if (!keys.given || keyTooLong(this, m_ctx.prompter, keys.key))
        return;
    // A typo here would lock the picture for good.
    if (keys.confirmation != keys.key) {
        m_ctx.prompter->message(
            this, QStringLiteral("The two keys are not the same. The image was not encrypted."),
            Prompter::Icon::Warning);
        return;
    }
    const Result<> r = doc->EncryptImage(keys.key, QString());
    if (!r.ok())
        m_ctx.prompter->message(
            this, QStringLiteral("The image could not be encrypted. %1").arg(r.error()),
            Prompter::Icon::Critical);
}

void frmViwer::Decrypt()
{
    if (!m_ctx.prompter)
        return;
    imaging::ImageDocument *doc = ImgX->document();
    if (doc->isEmpty()) {
        m_ctx.prompter->message(this, QStringLiteral("There is no image to decrypt."),
                                Prompter::Icon::Information);
        return;
    }
    Keys keys;
    askKey(this, m_ctx.prompter, m_ctx.skin, m_dialog, {"Decryption", "Decryption Key:", false},
           keys);
    if (!keys.given || keyTooLong(this, m_ctx.prompter, keys.key))
        return;
    const Result<> r = doc->DecryptImage(keys.key, QString());
    // The image stays as it was; the user learns why.
    if (!r.ok())
        m_ctx.prompter->message(
            this, QStringLiteral("The image could not be decrypted. %1").arg(r.error()),
            Prompter::Icon::Critical);
}

} // namespace lumora
