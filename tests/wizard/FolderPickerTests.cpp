// The folder picker, opened from the configuration page.

#include "WizardHarness.h"

#include <QDir>
#include <QTreeWidget>

class FolderPickerTests : public WizardFixture {
    Q_OBJECT

private slots:
    void folderPickerTakesTheOpenFolder() {
        TempDir dir;
        fs::create_directories(dir.Path() / "a" / "inner");
        fs::create_directory(dir.Path() / "b");
        const QString previous = QDir::currentPath();
        QDir::setCurrent(Q(dir.Path().string()));
        ToConfig();
        ConfigPage& config = wizard_->Config();
        // Clicks the named folder in the picker's tree (twice: a double click).
        auto click = [](FolderPicker& picker, const QString& name, bool twice) {
            auto& list = Get<QTreeWidget>(picker, "Dir1");
            auto* item = list.findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
            const QPoint at = list.visualItemRect(item).center();
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(list.currentItem(), item);
            if (twice)
                QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
        };

        // Double click opens; OK takes the open folder.
        ui_->inPicker = [&](FolderPicker& picker) {
            QCOMPARE(picker.StrPath(), QDir::currentPath());
            click(picker, "a", true);
            Click(picker, "cmdOK");
        };
        Click(config, "cmdFindPhotoDir");
        QVERIFY(!ui_->pickerLeftOpen);
        QCOMPARE(Box("txtPhotoDir").text(), QDir::currentPath() + "/a");

        // A highlighted folder is not chosen; the picker opens where it was left.
        ui_->inPicker = [&](FolderPicker& picker) {
            QCOMPARE(picker.StrPath(), QDir::currentPath() + "/a");
            click(picker, "inner", false);
            QTest::keyClick(&picker, Qt::Key_Return);
        };
        Click(config, "cmdFindOutputDir");
        QVERIFY(!ui_->pickerLeftOpen);
        QCOMPARE(Box("txtOutputDir").text(), QDir::currentPath() + "/a");

        // Cancel, Escape and the close command leave the box alone.
        const std::function<void(FolderPicker&)> leaving[] = {
            [&](FolderPicker& picker) { Click(picker, "cmdCancel"); },
            [&](FolderPicker& picker) { QTest::keyClick(&picker, Qt::Key_Escape); },
            [&](FolderPicker& picker) { picker.close(); }};
        for (const auto& leave : leaving) {
            Box("txtPhotoDir").setText("kept");
            ui_->inPicker = leave;
            Click(config, "cmdFindPhotoDir");
            QVERIFY(!ui_->pickerLeftOpen);
            QCOMPARE(Box("txtPhotoDir").text(), "kept");
        }
        QDir::setCurrent(previous);
    }
};

QTEST_MAIN(FolderPickerTests)
#include "FolderPickerTests.moc"
