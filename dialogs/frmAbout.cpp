#include "dialogs/frmAbout.h"

#include "dialogs/Prompter.h"
#include "dialogs/Skin.h"
#include "loader/LoaderClient.h"
#include "platform/ProgramStarter.h"
#include "platform/RegistryStore.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace lumora
{

const char *const frmAbout::kUnavailable = "System Information Is Unavailable At This Time";

namespace
{
const char *const kTexts[5] = {
    "Lumora",
    "Version 2.1.0.0",
    "Use Lumora  to easily navigate your favorite images in your computer, Slide show in full "
    "screen, Save to alot of image formats, Encryption, transformations,  and more...",
    "Warning: this program is protected by copyright. Copying or distributing it, or any part of "
    "it, without the written permission of Quorvane is not allowed.",
    "Quorvane \xe2\x80\x94 lumora@quorvane.example \xe2\x80\x94 https://quorvane.example/lumora",
};

constexpr int kValueBuffer = 1024;

QIcon programIcon()
{
    if (!QApplication::windowIcon().isNull() &&
        !QApplication::windowIcon().availableSizes().isEmpty())
        return QApplication::windowIcon();
    const QString path =
        QCoreApplication::applicationDirPath() + QStringLiteral("/icons/lumora.png");
    if (QFile::exists(path))
        return QIcon(path);
    return QApplication::style()->standardIcon(QStyle::SP_DesktopIcon);
}

// The bytes a 32-bit number value is read as, lowest first.
QString numberBytes(const QString &data)
{
    bool ok = false;
    quint32 v = data.trimmed().toUInt(&ok, 0);
    if (!ok)
        v = quint32(data.trimmed().toInt(&ok, 0));
    if (!ok)
        return data; // not a number: the stored characters stand for the bytes
    QString out;
    for (int i = 0; i < 4; ++i)
        out += QChar(char16_t((v >> (8 * i)) & 0xFF));
    return out;
}
} // namespace

frmAbout::frmAbout(platform::RegistryStore *registry, Prompter *prompter, const Skin *skin,
                   QWidget *owner, platform::ProgramStarter *starter)
    : QDialog(owner), m_registry(registry), m_prompter(prompter), m_starter(starter)
{
    if (!m_starter) {
        m_ownStarter = std::make_unique<platform::DetachedProgramStarter>();
        m_starter = m_ownStarter.get();
    }
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Lumora"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);

    for (int i = 0; i < 5; ++i) {
        m_labels[i] = new QLabel(QString::fromUtf8(kTexts[i]), this);
        m_labels[i]->setObjectName(QStringLiteral("SkinLabel%1").arg(i + 1));
        m_labels[i]->setWordWrap(i >= 2);
        m_labels[i]->setTextInteractionFlags(i == 4 ? Qt::TextSelectableByMouse
                                                    : Qt::NoTextInteraction);
    }
    QFont big = m_labels[0]->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    m_labels[0]->setFont(big);
    QFont small = m_labels[3]->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_labels[3]->setFont(small);

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("picIcon"));
    m_icon->setPixmap(programIcon().pixmap(64, 64));
    m_icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("asxBars1"));
    bar->setFrameShape(QFrame::HLine);
    bar->setFrameShadow(QFrame::Sunken);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setDefault(true);
    m_sysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    m_sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_sysInfo->setAutoDefault(false);
    // Whether the decoder processes run sandboxed: where the kernel refuses
    // seccomp they run without it, and this says so.
    m_sysInfo->setToolTip(QStringLiteral("Decoder sandbox: ") + loader::sandboxDescription());

    auto *text = new QVBoxLayout;
    text->addWidget(m_labels[0]);
    text->addWidget(m_labels[1]);
    text->addSpacing(8);
    text->addWidget(m_labels[2]);
    text->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addWidget(m_sysInfo);
    auto *bottom = new QHBoxLayout;
    auto *notes = new QVBoxLayout;
    notes->addWidget(m_labels[3]);
    notes->addWidget(m_labels[4]);
    bottom->addLayout(notes, 1);
    bottom->addSpacing(12);
    bottom->addLayout(buttons);
    auto *all = new QVBoxLayout(this);
    all->setContentsMargins(16, 16, 16, 16);
    all->addLayout(top, 1);
    all->addWidget(bar);
    all->addLayout(bottom);
    setFixedWidth(520);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::close);
    connect(m_sysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
    // OK unloads the box.
    setAttribute(Qt::WA_DeleteOnClose);

    if (skin) {
        skin->ApplySkinByName(this, QStringLiteral("smallform"));
        skin->ApplySkinByName(m_sysInfo, QStringLiteral("Button"));
        skin->ApplySkinByName(m_ok, QStringLiteral("Button"));
        for (QLabel *l : m_labels)
            skin->ApplySkinByName(l, QStringLiteral("Label"));
    }
}

frmAbout::~frmAbout() = default;

QLabel *frmAbout::SkinLabel(int n) const
{
    return n >= 1 && n <= 5 ? m_labels[n - 1] : nullptr;
}

void frmAbout::StartSysInfo()
{
    QString path;
    bool started = false;
    if (GetKeyValue(platform::HKEY_LOCAL_MACHINE,
                    QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), path)) {
        // The stored path is trusted as it is.
        started = m_starter->start(path);
    } else if (GetKeyValue(platform::HKEY_LOCAL_MACHINE,
                           QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                           QStringLiteral("MSINFO"), path) &&
               QFile::exists(path + QStringLiteral("/MSINFO32.EXE"))) {
        started = m_starter->start(path + QStringLiteral("/MSINFO32.EXE"));
    }
    if (!started && m_prompter)
        m_prompter->message(this, QString::fromLatin1(kUnavailable), Prompter::Icon::None,
                            Prompter::Buttons::Ok);
}

bool frmAbout::GetKeyValue(std::uint32_t KeyRoot, const QString &KeyName, const QString &SubKeyRef,
                           QString &KeyVal)
{
    const auto root = platform::registryRootFromHandle(KeyRoot);
    // Opened for reading and writing values and sub-keys, as the tool's
    // lookup always has been; a store that only reads refuses that.
    if (!m_registry || !root ||
        m_registry->openKey(*root, KeyName, platform::RegAccess::All) != platform::RegResult::Ok) {
        KeyVal.clear();
        return false;
    }
    platform::RegValue value;
    if (m_registry->queryValue(*root, KeyName, SubKeyRef, &value) != platform::RegResult::Ok) {
        KeyVal.clear();
        return false;
    }
    const QString raw = value.type == platform::RegDword ? numberBytes(value.data) : value.data;
    // What does not fit the read buffer is not read at all.
    if (raw.size() > kValueBuffer) {
        KeyVal.clear();
        return false;
    }
    // A trailing zero is the terminator, not part of the text.
    const qsizetype size = raw.size();
    const QString kept = size > 0 && raw.at(size - 1) == QChar(0) ? raw.left(size - 1) : raw;
    switch (value.type) {
    case platform::RegSz:
        KeyVal = kept;
        break;
    case platform::RegDword: {
        QString digits;
        for (qsizetype i = kept.size() - 1; i >= 0; --i)
            digits += QString::number(kept.at(i).unicode(), 16).toUpper();
        KeyVal = QStringLiteral("&h") + digits;
        break;
    }
    default:
        break;
    }
    return true;
}

} // namespace lumora
