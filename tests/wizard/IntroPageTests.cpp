// The introduction: the frames choice, templates, the Read Me.

#include "WizardHarness.h"

#include <vantrel/Generator.h>

#include <QFile>
#include <QRadioButton>

class IntroPageTests : public WizardFixture {
    Q_OBJECT

private slots:
    void pageMovesKeepTheFirstVisitsDefaults() {
        IntroPage& intro = wizard_->Intro();
        QVERIFY(intro.isVisible());
        QVERIFY(!wizard_->HasConfig() && !wizard_->HasProgress());
        QVERIFY(!Get<QPushButton>(intro, "cmdBack").isEnabled());
        QVERIFY(intro.OptFrames(0)->isChecked());

        ToConfig();
        ConfigPage& config = wizard_->Config();
        QVERIFY(config.isVisible() && !intro.isVisible());
        QCOMPARE(ConfigShown(), "||Default.htm||5|5|120|Width|on|on");
        QVERIFY(!Settings().useFrames);

        // Back stores nothing; the frames choice no longer changes the page.
        Box("txtNavHeader").setText("typed");
        Click(config, "cmdBack");
        QVERIFY(intro.isVisible() && !config.isVisible());
        QCOMPARE(Settings().navHeaderFilePath, "");
        intro.OptFrames(1)->setChecked(true);
        ToConfig();
        QVERIFY(Settings().useFrames);
        QCOMPARE(ConfigShown(), "typed||Default.htm||5|5|120|Width|on|on");

        // Frames on a first visit.
        Restart();
        wizard_->Intro().OptFrames(1)->setChecked(true);
        ToConfig();
        QCOMPARE(ConfigShown(), "||Default.htm||25|1|120|Width|on|-");
    }

    void templateLoadFillsThePage() {
        TempDir dir;
        WriteFile(dir / "height.cfg", TemplateXml(0, 150, false, true));
        WriteFile(dir / "square.cfg", TemplateXml(120, 120, true, false));
        ToConfigWithTemplate(dir / "height.cfg"); // the frames option (without) is not read
        QVERIFY(ui_->messages.isEmpty());
        ConfigPage& config = wizard_->Config();
        QVERIFY(config.isVisible());
        QVERIFY(Settings().useFrames);
        QCOMPARE(Settings().targetFrameName, "Main");
        QCOMPARE(Settings().maxHeight, 150);
        QCOMPARE(ConfigShown(),
                 "/t/nav-head.htm|/t/img-head.htm|gallery.htm|/t/photos|3|4|150|Height|-|on fixed");
        QVERIFY(Get<QPlainTextEdit>(config, "txtDescription").toPlainText().contains("Hello"));

        ToConfigWithTemplate(dir / "square.cfg");
        QCOMPARE(ConfigShown(),
                 "/t/nav-head.htm|/t/img-head.htm|gallery.htm|/t/photos|3|4|120|Width|on|-");

        // Per-photo pages off takes the buttons away; back on, they come back checked.
        auto& pages = Get<QCheckBox>(config, "chkPagePerPhoto");
        pages.click();
        QVERIFY(ConfigShown().endsWith("|- fixed"));
        pages.click();
        QVERIFY(ConfigShown().endsWith("|on|on"));
    }

    void missingTemplateIsReportedAndTheMoveGoesOn() {
        TempDir dir;
        ToConfigWithTemplate(dir / "absent.cfg");
        QCOMPARE(ui_->messages.size(), 1);
        QCOMPARE(ui_->messages[0].caption, "Generator::LoadTemplate()");
        QVERIFY(ui_->messages[0].text.startsWith("Error: Unable to load template file"));
        QCOMPARE(ui_->messages[0].icon, QMessageBox::Critical);
        QVERIFY(wizard_->Config().isVisible());
        QCOMPARE(ConfigShown(), "||Default.htm||5|5|120|Width|on|on");
    }

    void readmeOpensTheFileNextToTheProgram() {
        const QString readme = QCoreApplication::applicationDirPath() + "/readme.txt";
        QVERIFY(QFileInfo(readme).isFile());
        Click(wizard_->Intro(), "cmdReadme");
        QCOMPARE(ui_->opened, QList<QUrl>{QUrl::fromLocalFile(readme)});
        QVERIFY(ui_->messages.isEmpty());

        // With no viewer on the desktop, the wizard shows it itself.
        ui_->viewerWorks = false;
        Click(wizard_->Intro(), "cmdReadme");
        QVERIFY(ui_->messages.isEmpty());
        auto& window = Get<QDialog>(wizard_->Intro(), "frmReadme");
        const auto& text = Get<QPlainTextEdit>(window, "txtReadme");
        QVERIFY(window.isVisible() && text.isReadOnly());
        QFile file(readme);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(text.toPlainText(), QString::fromUtf8(file.readAll()));
    }
};

QTEST_MAIN(IntroPageTests)
#include "IntroPageTests.moc"
