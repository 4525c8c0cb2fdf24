#include "FolderPicker.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kPathRole = Qt::UserRole;

// The open path reads as an indented list; there is nothing to fold.
class FolderList : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

protected:
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
};

bool Readable(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

// Root paths of the mounted volumes, "/" first.
QStringList Drives() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && QFileInfo(volume.rootPath()).isDir())
            roots << volume.rootPath();
    roots << QDir::rootPath();
    roots.removeDuplicates();
    std::sort(roots.begin(), roots.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return roots;
}

} // namespace

FolderPicker::FolderPicker() {
    setObjectName(QStringLiteral("frmFolder"));
    setWindowTitle(QStringLiteral("Pick Folder"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    Drive1_ = new QComboBox(this);
    Drive1_->setObjectName(QStringLiteral("Drive1"));
    Drive1_->setToolTip(
        QStringLiteral("Use this drop-down list to choose the disk where the folder is"));
    for (const QString& root : Drives())
        Drive1_->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root, root);
    layout->addWidget(Drive1_);

    Dir1_ = new FolderList(this);
    Dir1_->setObjectName(QStringLiteral("Dir1"));
    Dir1_->setToolTip(QStringLiteral(
        "Make sure the folder you wish to select is the last open folder in the list"));
    Dir1_->setHeaderHidden(true);
    Dir1_->setRootIsDecorated(false);
    Dir1_->setItemsExpandable(false);
    Dir1_->setExpandsOnDoubleClick(false);
    Dir1_->setUniformRowHeights(true);
    const int chars = Dir1_->fontMetrics().averageCharWidth();
    Dir1_->setMinimumSize(chars * 48, Dir1_->fontMetrics().lineSpacing() * 16);
    layout->addWidget(Dir1_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("Click here to cancel"));
    auto* cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setToolTip(QStringLiteral("Click here once you have selected your folder"));
    cmdOK->setDefault(true);
    for (QPushButton* button : {cmdCancel, cmdOK}) {
        button->setMinimumWidth(chars * 12);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, [this] { Finish(true); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { Finish(false); });
    connect(Dir1_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OpenFolder(item->data(0, kPathRole).toString()); });

    // Start at the process's current folder, on the drive that holds it.
    const QString start = QDir::currentPath();
    const QString drive = QStorageInfo(start).rootPath();
    int index = Drive1_->findData(drive);
    if (index < 0) {
        Drive1_->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), drive, drive);
        index = Drive1_->count() - 1;
    }
    Drive1_->setCurrentIndex(index);
    if (!OpenFolder(start))
        OpenFolder(drive);
    connect(Drive1_, &QComboBox::currentIndexChanged, this, &FolderPicker::DriveChosen);
}

bool FolderPicker::OpenFolder(const QString& path) {
    if (path.isEmpty() || !Readable(path))
        return false;
    const QString open = QDir(path).absolutePath();

    Dir1_->clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The open folder and its parents, from the top down.
    QStringList chain;
    for (QDir dir(open);;) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    QTreeWidgetItem* parent = nullptr;
    for (const QString& folder : chain) {
        const QString name = QDir(folder).isRoot() ? folder : QFileInfo(folder).fileName();
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(Dir1_);
        item->setText(0, name);
        item->setIcon(0, openIcon);
        item->setData(0, kPathRole, folder);
        item->setExpanded(true);
        parent = item;
    }
    QTreeWidgetItem* openItem = parent;

    const QFileInfoList subfolders =
        QDir(open).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& subfolder : subfolders) {
        auto* item = new QTreeWidgetItem(openItem);
        item->setText(0, subfolder.fileName());
        item->setIcon(0, closedIcon);
        item->setData(0, kPathRole, subfolder.absoluteFilePath());
    }
    Dir1_->expandAll();
    Dir1_->setCurrentItem(openItem);
    Dir1_->scrollToItem(openItem);

    strPath_ = open;
    driveFolders_[Drive1_->currentData().toString()] = open;
    return true;
}

void FolderPicker::DriveChosen(int index) {
    // A drive that cannot be read leaves the list where it was, without a word.
    const QString drive = Drive1_->itemData(index).toString();
    const QString folder = driveFolders_.value(drive, drive);
    if (!OpenFolder(folder) && folder != drive)
        OpenFolder(drive);
}

void FolderPicker::Finish(bool usePath) {
    usePath_ = usePath;
    hide();
}

void FolderPicker::closeEvent(QCloseEvent* event) {
    // The window's close command counts as Cancel.
    event->accept();
    Finish(false);
}

void FolderPicker::reject() {
    Finish(false);
}
