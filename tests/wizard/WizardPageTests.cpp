// The frame every page shares: the quit confirmation by button, Escape and the close command.

#include "WizardHarness.h"

namespace {

enum class Way { Button, Escape, CloseCommand };

} // namespace

class WizardPageTests : public WizardFixture {
    Q_OBJECT

private slots:
    void quitConfirmation_data() {
        QTest::addColumn<Page>("page");
        QTest::addColumn<Way>("way");
        QTest::addColumn<bool>("yes");
        const std::pair<Page, const char*> pages[] = {
            {Page::Intro, "intro"}, {Page::Config, "config"}, {Page::Progress, "progress"}};
        const std::pair<Way, const char*> ways[] = {
            {Way::Button, "button"}, {Way::Escape, "escape"}, {Way::CloseCommand, "close"}};
        for (const auto& [page, pageName] : pages)
            for (const auto& [way, wayName] : ways)
                for (bool yes : {true, false})
                    QTest::addRow("%s %s %s", pageName, wayName, yes ? "yes" : "no")
                        << page << way << yes;
    }

    void quitConfirmation() {
        QFETCH(Page, page);
        QFETCH(Way, way);
        QFETCH(bool, yes);
        TempDir dir;
        if (page == Page::Config) {
            ToConfig();
            Box("txtOutputFile").setText("kept.htm");
        }
        if (page == Page::Progress)
            ToProgress(dir, dir / "photos", dir / "out");
        QWidget& window = PageWindow(page);
        QVERIFY(window.isVisible());

        ui_->answers << (yes ? QMessageBox::Yes : QMessageBox::No);
        if (way == Way::Button)
            Click(window, page == Page::Config ? "cmdCancel" : "cmdClose");
        else if (way == Way::Escape)
            QTest::keyClick(&window, Qt::Key_Escape);
        else
            window.close();

        QCOMPARE(MessageTexts(), QStringList{"Are you sure you wish to quit Tessary?"});
        const MessageRequest& question = ui_->messages[0];
        QCOMPARE(question.caption, "Closing Tessary");
        QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(question.defaultButton, QMessageBox::Yes);
        QCOMPARE(question.icon, QMessageBox::NoIcon);
        QCOMPARE(ui_->ends, yes ? 1 : 0);
        QCOMPARE(window.isVisible(), !yes);
        QCOMPARE(wizard_->ActivePage(), yes ? nullptr : &window);
        if (page == Page::Config)
            QCOMPARE(Box("txtOutputFile").text(), "kept.htm");
    }
};

QTEST_MAIN(WizardPageTests)
#include "WizardPageTests.moc"
