#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "imaging/ImageCipher.h"
#include "viewer/modMain.h"

#include <QFileInfo>

namespace lumora
{

namespace
{

constexpr unsigned kSaveFlags =
    FileDialog::OverwritePrompt | FileDialog::HideReadOnly | FileDialog::EnableSizing;

// The save-table row of a format code, 0 when the format cannot be saved.
int saveRowOf(int formatCode)
{
    for (int row = 1;; ++row) {
        int code = 0;
        if (GetSaveFormat(row, code).isEmpty())
            return 0;
        if (code == formatCode)
            return row;
    }
}

} // namespace

void frmViwer::SaveAs()
{
    imaging::ImageDocument *doc = ImgX->document();
    if (!doc || doc->isEmpty() || !m_ctx.prompter)
        return;

    Dialog.Mode = 0;
    Dialog.Filter = saveDialogFilter();
    if (const int row = saveRowOf(int(doc->ImageFormat())))
        Dialog.FilterIndex = row;
    int unusedCode = 0;
    Dialog.DefaultExt = GetSaveFormat(Dialog.FilterIndex, unusedCode);
    Dialog.Flags = kSaveFlags;
    // Start next to the image, under its name with the preselected type's
    // extension; the user picks or types the name that is used.
    const QFileInfo source(doc->ImageFilePath());
    if (!doc->ImageFilePath().isEmpty()) {
        Dialog.InitDir = source.absolutePath();
        Dialog.FileName = Dialog.DefaultExt.isEmpty()
                              ? source.completeBaseName()
                              : source.completeBaseName() + QLatin1Char('.') + Dialog.DefaultExt;
    }

    // The slide show waits while the dialog is open (the viewer's prompter
    // holds it), so the image saved is the one the user chose to save.
    if (!Dialog.ShowSave(*m_ctx.prompter, this))
        return;

    int formatCode = 0;
    if (GetSaveFormat(Dialog.FilterIndex, formatCode).isEmpty()) {
        m_ctx.prompter->message(this, QStringLiteral("Please choose one of the listed file types."),
                                Prompter::Icon::Warning);
        return;
    }
    // A sealed picture lives in its exact colours; a lossy file keeps the
    // noise but not the key's way back, so the user decides knowingly.
    if (doc->isEncrypted()) {
        const QString warning = imaging::encryptedSaveWarning(imaging::FormatCode(formatCode),
                                                              doc->currentImage().size());
        if (!warning.isEmpty() &&
            m_ctx.prompter->message(this, warning, Prompter::Icon::Warning,
                                    Prompter::Buttons::YesNoDefaultNo) != Prompter::Answer::Yes)
            return;
    }
    QString error;
    if (!doc->SaveToFile(Dialog.FileName, imaging::FormatCode(formatCode), 0, true, &error))
        m_ctx.prompter->message(this, error, Prompter::Icon::Critical);
}

} // namespace lumora
