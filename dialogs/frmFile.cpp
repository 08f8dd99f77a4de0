#include "dialogs/frmFile.h"

#include "dialogs/Skin.h"
#include "imaging/Twips.h"
#include "platform/ShellFolders.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace lumora
{

namespace
{
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kReadRole = Qt::UserRole + 2;

QString withSeparator(QString path)
{
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

// "~" and "~/..." typed by hand mean the home folder, as in a shell.
QString expandHome(const QString &typed)
{
    const QString &path = typed;
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

QTreeWidgetItem *folderItem(const QString &name, const QString &path)
{
    auto *item = new QTreeWidgetItem(QStringList{name});
    item->setData(0, kPathRole, path);
    item->setData(0, kReadRole, false);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}
} // namespace

frmFile::frmFile(const Skin *skin, QWidget *parent) : QDialog(parent), m_skin(skin)
{
    setObjectName(QStringLiteral("frmFile"));
    // A fixed single border: a title and a close box, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(kInitialCaption);
    buildUi();
    buildTree();
    if (m_skin) {
        m_skin->ApplySkinByName(this, QStringLiteral("smallform"));
        m_skin->ApplySkinByName(cmdCancel, QStringLiteral("Button"));
        m_skin->ApplySkinByName(cmdOK, QStringLiteral("Button"));
    }
}

frmFile::~frmFile() = default;

void frmFile::buildUi()
{
    const Twips t = Twips::forScreen();
    // A text box is never shorter than its font needs (descenders would be
    // cut off); what one grows moves everything below it down as far.
    int shift = 0;
    auto place = [&t, &shift](QWidget *w, int left, int top, int width, int height) {
        w->setGeometry(t.toPixelsX(left), t.toPixelsY(top) + shift, t.toPixelsX(width),
                       t.toPixelsY(height));
        if (auto *box = qobject_cast<QLineEdit *>(w)) {
            const int need = box->sizeHint().height();
            if (box->height() < need) {
                shift += need - box->height();
                box->resize(box->width(), need);
            }
        }
    };

    Label1 = new QLabel(QStringLiteral("Source"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    place(Label1, 165, 30, 7380, 225);
    txtSource = new QLineEdit(this);
    txtSource->setObjectName(QStringLiteral("txtSource"));
    place(txtSource, 165, 255, 7380, 315);
    Label2 = new QLabel(QStringLiteral("Destination"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    place(Label2, 165, 600, 7380, 240);
    txtDestination = new QLineEdit(this);
    txtDestination->setObjectName(QStringLiteral("txtDestination"));
    place(txtDestination, 165, 855, 7380, 345);
    FolderTree = new QTreeWidget(this);
    FolderTree->setObjectName(QStringLiteral("FolderTree"));
    FolderTree->setHeaderHidden(true);
    FolderTree->setColumnCount(1);
    place(FolderTree, 165, 1275, 7380, 3915);
    cmdOK = new QPushButton(QStringLiteral("&Ok"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    place(cmdOK, 4125, 5385, 1515, 465);
    cmdCancel = new QPushButton(QStringLiteral(" &Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    place(cmdCancel, 5910, 5385, 1620, 465);
    setFixedSize(t.toPixelsX(7710), t.toPixelsY(5940) + shift);
    setTabOrder(txtDestination, FolderTree);
    setTabOrder(FolderTree, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, txtSource);
    // Neither button answers Enter: the user may be typing a folder.
    for (QPushButton *b : {cmdOK, cmdCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    connect(cmdOK, &QPushButton::clicked, this, &frmFile::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFile::cmdCancel_Click);
    connect(FolderTree, &QTreeWidget::itemExpanded, this, &frmFile::expandItem);
    connect(FolderTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *item) { onCurrentItemChanged(item); });
}

void frmFile::buildTree()
{
    m_desktop = platform::specialFolderPath(platform::CSIDL_DESKTOP);
    m_root = folderItem(QStringLiteral("Desktop"), m_desktop);
    FolderTree->addTopLevelItem(m_root);
    // Under the Desktop, as the shell shows it: the home folder and the whole
    // file system first, then the Desktop's own folders (read on expanding).
    m_root->addChild(folderItem(QStringLiteral("Home"), QDir::homePath()));
    m_root->addChild(folderItem(QStringLiteral("File System"), QStringLiteral("/")));
    m_root->setData(0, kReadRole, m_desktop.isEmpty());
    m_root->setExpanded(true);
}

void frmFile::expandItem(QTreeWidgetItem *item)
{
    if (!item || item->data(0, kReadRole).toBool())
        return;
    item->setData(0, kReadRole, true);
    const QString path = item->data(0, kPathRole).toString();
    const QFileInfoList dirs =
        QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &d : dirs) {
        if (platform::isHiddenFile(d.absoluteFilePath()))
            continue;
        item->addChild(folderItem(d.fileName(), d.absoluteFilePath()));
    }
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void frmFile::onCurrentItemChanged(QTreeWidgetItem *item)
{
    if (!item)
        return;
    if (item == m_root)
        FolderTree_DesktopClick();
    else
        FolderTree_FolderClick(withSeparator(item->data(0, kPathRole).toString()));
}

void frmFile::revealFolder(const QString &folder)
{
    // The tree opens down to the source's folder, under Home when it lies
    // there; it is shown, not chosen, so the kept destination stays.
    const QString home = QDir::cleanPath(QDir::homePath());
    const QString clean = QDir::cleanPath(folder);
    const bool underHome = clean == home || clean.startsWith(home + QLatin1Char('/'));
    QTreeWidgetItem *item = m_root->child(underHome ? 0 : 1);
    const QString rest = underHome ? clean.mid(home.size()) : clean;
    for (const QString &part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        item->setExpanded(true);
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i) {
            if (item->child(i)->text(0) == part)
                next = item->child(i);
        }
        if (!next)
            break; // a hidden or vanished folder: show as far as it goes
        item = next;
    }
    FolderTree->scrollToItem(item);
}

QString frmFile::ShowFileForm(int opType, const QString &sSource)
{
    if (opType == 1)
        setWindowTitle(QStringLiteral("Copy To"));
    else if (opType == 4)
        setWindowTitle(QStringLiteral("Move To"));
    txtSource->setText(sSource);
    m_cancel = false;
    const QFileInfo source(sSource);
    if (!sSource.isEmpty() && source.exists())
        revealFolder(source.absolutePath());
    // The user came to say where to: start there, with the kept folder
    // selected so typing replaces it.
    txtDestination->setFocus(Qt::OtherFocusReason);
    txtDestination->selectAll();
    if (runModal)
        runModal(*this);
    else
        exec();
    if (m_cancel)
        return {};
    // A folder typed by hand without its separator would otherwise be glued
    // to the file name.
    return withSeparator(expandHome(txtDestination->text()));
}

void frmFile::FolderTree_DesktopClick()
{
    if (!m_desktop.isEmpty())
        txtDestination->setText(withSeparator(m_desktop));
}

void frmFile::FolderTree_FolderClick(const QString &folderPath)
{
    if (!folderPath.isEmpty())
        txtDestination->setText(folderPath);
}

void frmFile::cmdOK_Click()
{
    hide();
}

void frmFile::cmdCancel_Click()
{
    m_cancel = true;
    hide();
}

void frmFile::closeEvent(QCloseEvent *event)
{
    // The close box is a cancel, never a silent OK.
    m_cancel = true;
    QDialog::closeEvent(event);
}

void frmFile::keyPressEvent(QKeyEvent *event)
{
    // Neither button is the window's cancel button, so Escape does not close
    // it; Enter in the destination box does not press Ok either.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace lumora
