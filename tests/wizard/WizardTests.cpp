// The wizard's pages, driven through their controls on the offscreen platform.

#include "WizardHarness.h"

#include "ConfigPage.h"
#include "IntroPage.h"
#include "ProgressPage.h"
#include "Wizard.h"

#include "TestSupport.h"

#include <vantrel/Generator.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// The offscreen platform cannot raise windows or pass size hints on; the
// wizard asks anyway, as it must on a desktop. Everything else is reported.
QtMessageHandler qtTestHandler = nullptr;

void QuietPlatform(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        qtTestHandler(type, context, message);
}

enum class Page { Intro, Config, Progress };
enum class Way { Button, Escape, CloseCommand };

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

bool SamePicture(const QLabel& a, const QLabel& b) {
    return a.pixmap().toImage() == b.pixmap().toImage();
}

// A photo folder with `photos` sample photos and `broken` files named like photos.
std::string MakePhotos(const TempDir& dir, int photos, int broken = 0) {
    const std::string folder = dir / "photos";
    fs::create_directory(folder);
    const char* samples[] = {"clock_motion.jpg", "cell.jpg", "chelsea.jpg"};
    for (int index = 0; index < photos; ++index)
        fs::copy_file(testsupport::SamplePhoto(samples[index % 3]),
                      folder + "/photo" + std::to_string(index) + ".jpg");
    for (int index = 0; index < broken; ++index)
        WriteFile(folder + "/broken" + std::to_string(index) + ".jpg", "not a picture");
    WriteFile(dir / "header.htm", "<html><body>\n");
    WriteFile(dir / "footer.htm", "</body></html>\n");
    return folder;
}

std::string TemplateXml(int maxWidth, int maxHeight, bool pages, bool buttons) {
    auto flag = [](bool value) { return value ? "True" : "False"; };
    return std::string("<OrboTemplate><UseFrames>True</UseFrames>") +
           "<NavHeader>/t/nav-head.htm</NavHeader><NavFooter>/t/nav-foot.htm</NavFooter>"
           "<OutputFilename>gallery.htm</OutputFilename><OutputDirectory>/t/out</OutputDirectory>"
           "<PhotoDirectory>/t/photos</PhotoDirectory><NumberOfRows>3</NumberOfRows>"
           "<NumberOfCols>4</NumberOfCols><MaxWidth>" +
           std::to_string(maxWidth) + "</MaxWidth><MaxHeight>" + std::to_string(maxHeight) +
           "</MaxHeight><UseNavButtons>" + flag(buttons) +
           "</UseNavButtons><CreatePageForEachPhoto>" + flag(pages) +
           "</CreatePageForEachPhoto><ImgHeader>/t/img-head.htm</ImgHeader><ImgFooter/>"
           "<Description>Hello</Description><TargetFrame>Main</TargetFrame></OrboTemplate>";
}

} // namespace

class WizardTests : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestDialogs> ui_;
    std::unique_ptr<Wizard> wizard_;

    WizardSettings& Settings() { return wizard_->Settings(); }
    QWidget& PageWindow(Page page) {
        if (page == Page::Intro)
            return wizard_->Intro();
        return page == Page::Config ? static_cast<QWidget&>(wizard_->Config())
                                    : wizard_->Progress();
    }
    QLineEdit& Box(const char* name) { return Get<QLineEdit>(wizard_->Config(), name); }
    void Click(QWidget& window, const char* name) { Get<QPushButton>(window, name).click(); }

    void ToConfig() { Click(wizard_->Intro(), "cmdNext"); }
    void FillConfig(const TempDir& dir, const std::string& photos, const std::string& output) {
        Box("txtNavHeader").setText(Q(dir / "header.htm"));
        Box("txtNavFooter").setText(Q(dir / "footer.htm"));
        Box("txtPhotoDir").setText(Q(photos));
        Box("txtOutputDir").setText(Q(output));
    }
    // From the introduction to the progress page, the output going to `output`.
    ProgressPage& ToProgress(const TempDir& dir, const std::string& photos,
                             const std::string& output) {
        ToConfig();
        FillConfig(dir, photos, output);
        Click(wizard_->Config(), "cmdNext");
        return wizard_->Progress();
    }
    // A run over `photos` into dir/out.
    ProgressPage& Run(const TempDir& dir, const std::string& photos) {
        ProgressPage& progress = ToProgress(dir, photos, dir / "out");
        Click(progress, "cmdFinish");
        return progress;
    }
    // The configuration page's boxes and options as one line: the header, page
    // header, output file, photo folder, rows, columns, pixels and their side,
    // then the per-photo pages and buttons check boxes ("-" when unchecked,
    // "fixed" when disabled).
    QString ConfigShown() {
        QStringList shown;
        for (const char* name : {"txtNavHeader", "txtMainHeader", "txtOutputFile", "txtPhotoDir",
                                 "txtRows", "txtColumns", "txtPixels"})
            shown << Box(name).text();
        shown << Get<QComboBox>(wizard_->Config(), "cboHeightWidth").currentText();
        for (const char* name : {"chkPagePerPhoto", "chkUseButtons"}) {
            const auto& box = Get<QCheckBox>(wizard_->Config(), name);
            shown << QString(box.isChecked() ? "on" : "-") + (box.isEnabled() ? "" : " fixed");
        }
        return shown.join('|');
    }
    // The thumbnail width and height limits stored for the engine.
    std::pair<int, int> Sides() { return {Settings().MaxWidth, Settings().MaxHeight}; }
    QStringList MessageTexts() const {
        QStringList texts;
        for (const MessageRequest& message : ui_->messages)
            texts << message.text;
        return texts;
    }

private slots:
    void initTestCase() { qtTestHandler = qInstallMessageHandler(QuietPlatform); }

    void init() {
        ui_ = std::make_unique<TestDialogs>();
        wizard_ = std::make_unique<Wizard>(*ui_);
        wizard_->Start();
    }
    void cleanup() {
        wizard_.reset();
        ui_.reset();
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

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
        QVERIFY(!Settings().UseFrames);

        // Back stores nothing; the frames choice no longer changes the page.
        Box("txtNavHeader").setText("typed");
        Click(config, "cmdBack");
        QVERIFY(intro.isVisible() && !config.isVisible());
        QCOMPARE(Settings().NavHeaderFilePath, "");
        intro.OptFrames(1)->setChecked(true);
        ToConfig();
        QVERIFY(Settings().UseFrames);
        QCOMPARE(ConfigShown(), "typed||Default.htm||5|5|120|Width|on|on");

        // Frames on a first visit.
        init();
        wizard_->Intro().OptFrames(1)->setChecked(true);
        ToConfig();
        QCOMPARE(ConfigShown(), "||Default.htm||25|1|120|Width|on|-");
    }

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

        QCOMPARE(ui_->messages.size(), 1);
        const MessageRequest& question = ui_->messages[0];
        QCOMPARE(question.text, "Are you sure you wish to quit Tessary?");
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
            const char* box;
            const char* text;
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
        QCOMPARE(ui_->messages[0].caption, "Required Information Missing");
        QCOMPARE(ui_->messages[0].icon, QMessageBox::NoIcon);
        QCOMPARE(ui_->messages[0].buttons, QMessageBox::Ok);
        QCOMPARE(wizard_->Config().focusWidget(), &Box(qPrintable(box)));
        QVERIFY(wizard_->Config().isVisible() && !wizard_->HasProgress());
        QCOMPARE(Settings().NavHeaderFilePath, "");
    }

    void emptyPageStopsAtTheFirstBox() {
        ToConfig();
        for (const char* name : {"txtOutputFile", "txtRows", "txtColumns", "txtPixels"})
            Box(name).clear();
        Click(wizard_->Config(), "cmdNext");
        QCOMPARE(MessageTexts(), QStringList{"The header file location is mandatory"});
        QCOMPARE(wizard_->Config().focusWidget(), &Box("txtNavHeader"));
    }

    void entriesAreStoredAsTyped() {
        ToConfig();
        ConfigPage& config = wizard_->Config();
        for (const char* name : {"txtNavHeader", "txtNavFooter", "txtPhotoDir", "txtOutputDir"})
            Box(name).setText(" ");
        Box("txtRows").setText(" 7 ");
        Get<QComboBox>(config, "cboHeightWidth").setCurrentIndex(1);
        Box("txtPixels").setText("150");
        Get<QPlainTextEdit>(config, "txtDescription").setPlainText("<b>Hi</b>");
        Click(config, "cmdNext");
        QVERIFY(ui_->messages.isEmpty());
        QVERIFY(wizard_->Progress().isVisible());
        QCOMPARE(Settings().NavHeaderFilePath, " ");
        QCOMPARE(Settings().NumberOfRows, 7);
        QCOMPARE(Settings().MaxHeight, 150);
        QCOMPARE(Settings().MaxWidth, 0);
        QCOMPARE(Settings().Description, "<b>Hi</b>");
        QCOMPARE(Settings().TargetFrameName, ""); // no frames, so no target
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
        Click(progress, "cmdBack");
        Click(wizard_->Config(), "cmdBack");
        Get<QLineEdit>(wizard_->Intro(), "txtTemplate").setText(Q(dir / "both.cfg"));
        ToConfig();
        QCOMPARE(Settings().MaxHeight, 90);
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
        QCOMPARE(Settings().MaxWidth, 32767);

        // A template's large size is taken as it is.
        WriteFile(dir / "large.cfg", TemplateXml(1200, 0, true, true));
        Click(wizard_->Progress(), "cmdBack");
        Click(wizard_->Config(), "cmdBack");
        Get<QLineEdit>(wizard_->Intro(), "txtTemplate").setText(Q(dir / "large.cfg"));
        ToConfig();
        QCOMPARE(pixels.text(), "1200");
        FillConfig(dir, dir / "photos", dir / "out");
        Click(wizard_->Config(), "cmdNext");
        QVERIFY(ui_->messages.isEmpty());
        QVERIFY(wizard_->Progress().isVisible());
        QCOMPARE(Settings().MaxWidth, 1200);
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

    void templateLoadFillsThePage() {
        TempDir dir;
        WriteFile(dir / "height.cfg", TemplateXml(0, 150, false, true));
        WriteFile(dir / "square.cfg", TemplateXml(120, 120, true, false));
        IntroPage& intro = wizard_->Intro();
        Get<QLineEdit>(intro, "txtTemplate").setText(Q(dir / "height.cfg"));
        ToConfig(); // the frames option (without) is not read
        QVERIFY(ui_->messages.isEmpty());
        ConfigPage& config = wizard_->Config();
        QVERIFY(config.isVisible());
        QVERIFY(Settings().UseFrames);
        QCOMPARE(Settings().TargetFrameName, "Main");
        QCOMPARE(Settings().MaxHeight, 150);
        QCOMPARE(ConfigShown(),
                 "/t/nav-head.htm|/t/img-head.htm|gallery.htm|/t/photos|3|4|150|Height|-|on fixed");
        QVERIFY(Get<QPlainTextEdit>(config, "txtDescription").toPlainText().contains("Hello"));

        Click(config, "cmdBack");
        Get<QLineEdit>(intro, "txtTemplate").setText(Q(dir / "square.cfg"));
        ToConfig();
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
        Get<QLineEdit>(wizard_->Intro(), "txtTemplate").setText(Q(dir / "absent.cfg"));
        ToConfig();
        QCOMPARE(ui_->messages.size(), 1);
        QCOMPARE(ui_->messages[0].caption, "Generator::LoadTemplate()");
        QVERIFY(ui_->messages[0].text.startsWith("Error: Unable to load template file"));
        QCOMPARE(ui_->messages[0].icon, QMessageBox::Critical);
        QVERIFY(wizard_->Config().isVisible());
        QCOMPARE(ConfigShown(), "||Default.htm||5|5|120|Width|on|on");
    }

    void runShowsEveryStepThenSavesItsSettings() {
        TempDir dir;
        ProgressPage& progress = ToProgress(dir, MakePhotos(dir, 3), dir / "out");
        QVERIFY(progress.isVisible() && !wizard_->Config().isVisible());
        QVERIFY(Get<QLabel>(progress, "lblClickFinish").isVisible());
        QVERIFY(!Get<QLabel>(progress, "Label2").isVisible());
        QVERIFY(!Get<QProgressBar>(progress, "pbTotalProgress").isVisible());
        QVERIFY(!Get<QPushButton>(progress, "cmdSaveSettings").isEnabled());
        Click(progress, "cmdFinish");
        QCOMPARE(MessageTexts(), QStringList{});
        QVERIFY(QApplication::overrideCursor() == nullptr);
        const auto& done = Get<QLabel>(progress, "imgCheck");
        for (const char* mark :
             {"imgCreatingThumbs", "imgCopying", "imgCreatingPages", "imgAddingThumbs"}) {
            QVERIFY2(Get<QLabel>(progress, mark).isVisible(), mark);
            QVERIFY2(SamePicture(Get<QLabel>(progress, mark), done), mark);
        }
        auto& current = Get<QProgressBar>(progress, "pbCurrentProgress");
        auto& total = Get<QProgressBar>(progress, "pbTotalProgress");
        QCOMPARE(std::pair(current.value(), current.maximum()), std::pair(2, 2));
        QCOMPARE(std::pair(total.value(), total.maximum()), std::pair(8, 8));
        QCOMPARE(Get<QLabel>(progress, "lblNumericProgress").text(), "3 of 3");
        QVERIFY(!Get<QLabel>(progress, "lblNumericProgress").isVisible());
        QVERIFY(Get<QLabel>(progress, "imgDNA").isVisible());
        QVERIFY(!Get<QPushButton>(progress, "cmdFinish").isEnabled());
        QVERIFY(Get<QPushButton>(progress, "cmdBack").isEnabled());
        QCOMPARE(progress.focusWidget(), &Get<QPushButton>(progress, "cmdClose"));
        QVERIFY(fs::exists(dir / "out/photo2.jpg"));
        QCOMPARE(Settings().TargetFrameName, "Photos");

        ui_->files << Q(dir / "saved.cfg");
        Click(progress, "cmdSaveSettings");
        QCOMPARE(ui_->fileRequests[0].mode, FileRequest::Mode::Save);
        QCOMPARE(ui_->fileRequests[0].defaultSuffix, "cfg");
        QVERIFY(ui_->messages.isEmpty());
        Generator saved;
        saved.LoadTemplate(dir / "saved.cfg");
        QCOMPARE(saved.PhotoDirectory(), dir / "photos");
        QCOMPARE(saved.TargetFrameName(), "Photos");

        // Back hides the step rows; without per-photo pages, Finish again
        // skips the page step.
        Click(progress, "cmdBack");
        QVERIFY(wizard_->Config().isVisible() && !progress.isVisible());
        Get<QCheckBox>(wizard_->Config(), "chkPagePerPhoto").setChecked(false);
        Click(wizard_->Config(), "cmdNext");
        QVERIFY(!Get<QLabel>(progress, "Label2").isVisible());
        QVERIFY(Get<QPushButton>(progress, "cmdFinish").isEnabled());
        Click(progress, "cmdFinish");
        QVERIFY(
            SamePicture(Get<QLabel>(progress, "imgCreatingPages"), Get<QLabel>(progress, "imgX")));
        QVERIFY(SamePicture(Get<QLabel>(progress, "imgCopying"), done));
        QCOMPARE(std::pair(total.value(), total.maximum()), std::pair(6, 6));
    }

    void onePhotoRunShowsFullBars() {
        TempDir dir;
        ProgressPage& progress = Run(dir, MakePhotos(dir, 1));
        for (const char* name : {"pbCurrentProgress", "pbTotalProgress"}) {
            const auto& bar = Get<QProgressBar>(progress, name);
            QVERIFY2(bar.maximum() > 0 && bar.value() == bar.maximum(), name);
        }
        QCOMPARE(Get<QLabel>(progress, "lblNumericProgress").text(), "1 of 1");
    }

    void engineErrorStopsTheRun() {
        TempDir dir;
        ProgressPage& progress = ToProgress(dir, MakePhotos(dir, 1), dir / "missing/out");
        Click(progress, "cmdFinish");
        QCOMPARE(ui_->messages.size(), 1);
        QCOMPARE(ui_->messages[0].caption, "Generator::GenerateGallery()");
        QCOMPARE(ui_->messages[0].text, "Error: Unable to create output directory");
        QCOMPARE(ui_->messages[0].icon, QMessageBox::Critical);
        // Not stuck: the pointer is back, and Back leads to the setting to mend.
        QVERIFY(QApplication::overrideCursor() == nullptr);
        for (const char* name : {"cmdFinish", "cmdSaveSettings", "cmdViewGallery"})
            QVERIFY2(!Get<QPushButton>(progress, name).isEnabled(), name);
        for (const char* name : {"cmdBack", "cmdClose"})
            QVERIFY2(Get<QPushButton>(progress, name).isEnabled(), name);
        QVERIFY(!Get<QLabel>(progress, "imgDNA").isVisible());

        Click(progress, "cmdBack");
        QVERIFY(wizard_->Config().isVisible());
        Box("txtOutputDir").setText(Q(dir / "out"));
        Click(wizard_->Config(), "cmdNext");
        Click(progress, "cmdFinish");
        QCOMPARE(ui_->messages.size(), 1);
        QVERIFY(Get<QLabel>(progress, "imgDNA").isVisible());
        QVERIFY(fs::exists(dir / "out/photo0.jpg"));
    }

    void viewGalleryOpensTheNavigationPage() {
        TempDir dir;
        ProgressPage& progress = ToProgress(dir, MakePhotos(dir, 1), dir / "out");
        auto& view = Get<QPushButton>(progress, "cmdViewGallery");
        QVERIFY(!view.isEnabled());
        Click(progress, "cmdFinish");
        QVERIFY(view.isEnabled());
        view.click();
        const QUrl page = QUrl::fromLocalFile(Q(fs::absolute(dir / "out/Default.htm").string()));
        QCOMPARE(ui_->opened, QList<QUrl>{page});
        QVERIFY(ui_->messages.isEmpty());

        ui_->viewerWorks = false;
        view.click();
        QCOMPARE(ui_->messages.size(), 1);
        QVERIFY(ui_->messages[0].text.contains(page.toLocalFile()));

        // A new run takes the offer away until it has succeeded.
        Click(progress, "cmdBack");
        Box("txtOutputDir").setText(Q(dir / "missing/out"));
        Click(wizard_->Config(), "cmdNext");
        Click(progress, "cmdFinish");
        QVERIFY(!view.isEnabled());
    }

    void problemsAreListedAfterTheRun() {
        TempDir dir;
        ProgressPage& progress = Run(dir, MakePhotos(dir, 1, 22));
        QVERIFY(Get<QLabel>(progress, "imgDNA").isVisible());
        QCOMPARE(ui_->messages.size(), 1);
        const MessageRequest& warning = ui_->messages[0];
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QVERIFY(warning.text.contains("broken0.jpg"));
        QCOMPARE(warning.text.count("broken"), 20);
        QVERIFY(warning.text.endsWith(
            QString("and %1 more.").arg(progress.LastGenerator()->Problems().size() - 20)));
    }

    void refusedCloseDuringRunLeavesTheRunAlone() {
        TempDir dir;
        ui_->answers << QMessageBox::No;
        // Fires inside the first progress event, while the engine runs.
        QTimer::singleShot(0, &wizard_->Progress(), [this] { wizard_->Progress().close(); });
        ProgressPage& progress = Run(dir, MakePhotos(dir, 3));
        QCOMPARE(MessageTexts(), QStringList{"Are you sure you wish to quit Tessary?"});
        QVERIFY(progress.isVisible() && ui_->ends == 0);
        QVERIFY(progress.LastGenerator() == nullptr);
        QVERIFY(Get<QLabel>(progress, "imgCreatingThumbs").isVisible());
        QVERIFY(!Get<QLabel>(progress, "imgCopying").isVisible());
        QCOMPARE(Get<QProgressBar>(progress, "pbTotalProgress").value(), 1);
        QVERIFY(fs::exists(dir / "out/photo2.jpg")); // the run itself went on
        QVERIFY(Get<QLabel>(progress, "imgDNA").isVisible());

        Click(progress, "cmdSaveSettings");
        QCOMPARE(ui_->messages.size(), 2);
        QCOMPARE(ui_->messages[1].icon, QMessageBox::Critical);
    }

    void readmeOpensTheFileNextToTheProgram() {
        const QString readme = QCoreApplication::applicationDirPath() + "/readme.txt";
        QVERIFY(QFileInfo(readme).isFile());
        Click(wizard_->Intro(), "cmdReadme");
        QCOMPARE(ui_->opened, QList<QUrl>{QUrl::fromLocalFile(readme)});
        QVERIFY(ui_->messages.isEmpty());

        ui_->viewerWorks = false;
        Click(wizard_->Intro(), "cmdReadme");
        QCOMPARE(ui_->messages.size(), 1);
        QVERIFY(ui_->messages[0].text.contains(readme));
        QCOMPARE(ui_->messages[0].icon, QMessageBox::NoIcon);
    }
};

QTEST_MAIN(WizardTests)
#include "WizardTests.moc"
