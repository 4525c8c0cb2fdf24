#pragma once

// frmFolder, the modal folder picker. The chosen folder is the one open in
// the folder list (double click opens), not one merely highlighted in it.

#include <QDialog>
#include <QHash>

class QComboBox;
class QTreeWidget;
class QTreeWidgetItem;

class FolderPicker : public QDialog {
    Q_OBJECT
public:
    FolderPicker();

    // True when last closed with OK; false after Cancel or the close command.
    bool UsePath() const { return usePath_; }
    // The folder open in the list.
    QString StrPath() const { return strPath_; }

    // Opens a folder in the list; false (and nothing changes) when it cannot be read.
    bool OpenFolder(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void DriveChosen(int index);
    void Finish(bool usePath);

    QComboBox* Drive1_ = nullptr;
    QTreeWidget* Dir1_ = nullptr;
    bool usePath_ = false;
    QString strPath_;
    QHash<QString, QString> driveFolders_; // per drive, the folder last open on it
};
