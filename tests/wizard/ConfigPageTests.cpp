// The configuration page: required and numeric entries, what Next stores, the file dialogs.

#include "WizardHarness.h"

#include <vantrel/Generator.h>

class ConfigPageTests : public WizardFixture {
    Q_OBJECT

private slots:
    void requiredAndNumericEntries_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const QString rows = "The number of rows must be a whole number from 1 to 32767";
        const QString columns = "The number of columns must be a whole number from 1 to 32767";
        const QString pixels =
            "The thumbnail size must be a whole number of pixels from 1 to 32767";
        // 40000 overflows 16 bits; 32768 can come from a template.
        const struct {
            const char *box, *text;
            QString message;
        } cases[] = {
            {"txtNavHeader", "", "The header file location is mandatory"},
            {"txtNavFooter", "", "The footer file location is mandatory"},
            {"txtOutputFile", "", "The output filename is mandatory"},
            {"txtRows", "", "The number of rows is mandatory"},
            {"txtColumns", "", "The number of columns is mandatory"},
            {"txtOutputDir", "", "The output directory location is mandatory"},
            {"txtPhotoDir", "", "The photo directory location is mandatory"},
            {"txtPixels", "", "You must define the thumbnail specifications before proceeding"},
            {"txtRows", "five", rows},
            {"txtRows", "2.5", rows},
            {"txtColumns", "40000", columns},
            {"txtColumns", "-3", columns},
            {"txtPixels", "0", pixels},
            {"txtPixels", "32768", pixels}};
        for (const auto& c : cases)
            QTest::addRow("%s '%s'", c.box, c.text)
                << QString(c.box) << QString(c.text) << c.message;
    }

    void requiredAndNumericEntries() {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, message);
        TempDir dir;
        ToConfig();
        FillConfig(dir, dir / "photos", dir / "out");
        Box(qPrintable(box)).setText(text);
        Click(wizard_->Config(), "cmdNext");

        QCOMPARE(MessageTexts(), QStringList{message});
        const MessageRequest& refusal = ui_->messages[0];
        QVERIFY(refusal.caption == "Required Information Missing" &&
                refusal.icon == QMessageBox::NoIcon && refusal.buttons == QMessageBox::Ok);
        QCOMPARE(wizard_->Config().focusWidget(), &Box(qPrintable(box)));
        QVERIFY(wizard_->Config().isVisible() && !wizard_->HasProgress());
        QCOMPARE(Settings().navHeaderFilePath, "");
    }

    void entriesAreStoredAsTyped() {
        ToConfig();
        ConfigPage& config = wizard_->Config();
        for (const char* name : {"txtNavHeader", "txtNavFooter", "txtPhotoDir", "txtOutputDir"})
            Box(name).setText(" ");
        Box("txtRows").setText(" 7 ");
        Get<QPlainTextEdit>(config, "txtDescription").setPlainText("<b>Hi</b>");
        Click(config, "cmdNext");
        QVERIFY(ui_->messages.isEmpty() && wizard_->Progress().isVisible());
        QCOMPARE(Settings().navHeaderFilePath, " ");
        QCOMPARE(Settings().numberOfRows, 7);
        QCOMPARE(Settings().description, "<b>Hi</b>");
    }

    void theChosenSideIsTheSizeMade() {
        TempDir dir;
        const std::string photos = MakePhotos(dir, 1);
        ProgressPage& progress = ToProgress(dir, photos, dir / "out");
        Click(progress, "cmdBack");
        auto& side = Get<QComboBox>(wizard_->Config(), "cboHeightWidth");
        side.setCurrentIndex(1);
        Box("txtPixels").setText("150");
        Click(wizard_->Config(), "cmdNext");
        QCOMPARE(Sides(), std::pair(0, 150));

        // Back, then Width: the height chosen before no longer limits the thumbnails.
        Click(progress, "cmdBack");
        side.setCurrentIndex(0);
        Box("txtPixels").setText("100");
        Click(wizard_->Config(), "cmdNext");
        Click(progress, "cmdFinish");
        QCOMPARE(MessageTexts(), QStringList{});
        QCOMPARE(Sides(), std::pair(100, 0));
        const auto thumbnail =
            testsupport::DecodeJpegReference(testsupport::ReadFile(dir / "out/photo0_tn.jpg"));
        QCOMPARE(thumbnail.width, 100);

        // A template that sets both sides: Width shown, so only the width stays.
        WriteFile(dir / "both.cfg", TemplateXml(120, 90, true, true));
        ToConfigWithTemplate(dir / "both.cfg");
        QCOMPARE(Settings().maxHeight, 90);
        Click(wizard_->Config(), "cmdNext");
        QCOMPARE(Sides(), std::pair(120, 0));
    }

    void anyThumbnailSizeTheEngineTakes() {
        TempDir dir;
        ToConfig();
        FillConfig(dir, dir / "photos", dir / "out");
        QLineEdit& pixels = Box("txtPixels");
        pixels.clear();
        QTest::keyClicks(&pixels, "327670"); // the sixth character is refused
        QCOMPARE(pixels.text(), "32767");
        Click(wizard_->Config(), "cmdNext");
        QVERIFY(ui_->messages.isEmpty());
        QCOMPARE(Settings().maxWidth, 32767);
    }

    void everySettingGoesThroughItsControl() {
        TempDir dir;
        std::string xml = TemplateXml(120, 0, true, false);
        xml.insert(xml.find("</OrboTemplate>"),
                   "<PageStyle>modern</PageStyle><StripLocation>True</StripLocation>");
        WriteFile(dir / "modern.cfg", xml);
        Generator loaded;
        loaded.LoadTemplate(dir / "modern.cfg");
        ToConfigWithTemplate(dir / "modern.cfg");
        ConfigPage& config = wizard_->Config();
        for (const vantrel::Setting& setting : vantrel::kSettings)
            QVERIFY2(!*setting.control || config.findChild<QWidget*>(setting.control),
                     setting.control);
        auto& style = Get<QComboBox>(config, "cboPageStyle");
        auto& strip = Get<QCheckBox>(config, "chkStripLocation");
        QCOMPARE(style.currentText(), "Modern");

        // What Next stores comes from the controls alone; settings without one keep theirs.
        vantrel::GallerySettings expected = loaded.Settings();
        Settings() = vantrel::GallerySettings{};
        expected.useFrames = Settings().useFrames;
        expected.targetFrameName = Settings().targetFrameName;
        Click(config, "cmdNext");
        QCOMPARE(MessageTexts(), QStringList{});
        QVERIFY(Settings() == expected);
        Click(wizard_->Progress(), "cmdBack");

        // Modern pages may go without a header and footer; classic ones may not.
        Box("txtNavHeader").clear();
        Box("txtNavFooter").clear();
        Click(config, "cmdNext");
        QCOMPARE(MessageTexts(), QStringList{});
        QCOMPARE(Settings().pageStyle, vantrel::PageStyle::Modern);
        QVERIFY(Settings().stripLocation && Settings().navHeaderFilePath.empty());
        Click(wizard_->Progress(), "cmdBack");
        style.setCurrentIndex(0);
        strip.setChecked(false);
        Click(config, "cmdNext");
        QCOMPARE(MessageTexts(), QStringList{"The header file location is mandatory"});
        FillConfig(dir, dir / "photos", dir / "out");
        Click(config, "cmdNext");
        QCOMPARE(Settings().pageStyle, vantrel::PageStyle::Classic);
        QVERIFY(!Settings().stripLocation);
    }

    void fileDialogsKeepTheLastChosenName() {
        ToConfig();
        ConfigPage& config = wizard_->Config();
        Box("txtNavHeader").setText("typed");
        Click(config, "cmdFindNavHeader"); // cancelled at the first use
        QCOMPARE(Box("txtNavHeader").text(), "");
        const FileRequest& request = ui_->fileRequests[0];
        QCOMPARE(request.mode, FileRequest::Mode::Open);
        QCOMPARE(request.filters,
                 (QStringList{"Text files [*.txt] (*.txt)", "Web pages [*.htm*] (*.htm *.html)"}));
        ui_->files << QString("/site/foot.htm");
        Click(config, "cmdFindNavFooter");
        Click(config, "cmdFindMainHeader"); // cancelled: the last chosen name
        QCOMPARE(Box("txtNavFooter").text(), "/site/foot.htm");
        QCOMPARE(Box("txtMainHeader").text(), "/site/foot.htm");
        QCOMPARE(ui_->fileRequests[2].fileName, "/site/foot.htm");

        Click(config, "cmdBack");
        ui_->files << QString("/t/a.cfg");
        Click(wizard_->Intro(), "cmdTemplate");
        QCOMPARE(Get<QLineEdit>(wizard_->Intro(), "txtTemplate").text(), "/t/a.cfg");
        QCOMPARE(ui_->fileRequests[3].filters, QStringList{"Tessary Templates [*.cfg] (*.cfg)"});
        QCOMPARE(ui_->fileRequests[3].fileName, ""); // its own dialog, not the page's
    }
};

QTEST_MAIN(ConfigPageTests)
#include "ConfigPageTests.moc"
