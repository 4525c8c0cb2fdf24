#include "WizardHarness.h"

#include <QApplication>

namespace {

// The offscreen platform cannot raise windows or pass size hints on; the
// wizard asks anyway, as it must on a desktop. Everything else is reported.
QtMessageHandler qtTestHandler = nullptr;

void QuietPlatform(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        qtTestHandler(type, context, message);
}

} // namespace

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

bool SamePicture(const QLabel& a, const QLabel& b) {
    return a.pixmap().toImage() == b.pixmap().toImage();
}

std::string MakePhotos(const TempDir& dir, int photos, int broken) {
    const std::string folder = dir / "photos";
    fs::create_directory(folder);
    const char* samples[] = {"clock_motion.jpg", "cell.jpg", "chelsea.jpg"};
    for (int index = 0; index < photos; ++index)
        fs::copy_file(testsupport::SamplePhoto(samples[index % 3]),
                      folder + "/photo" + std::to_string(index) + ".jpg");
    for (int index = 0; index < broken; ++index)
        WriteFile(folder + "/broken" + std::to_string(index) + ".jpg",
                  "\xFF\xD8\xFF but no picture");
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

void WizardFixture::initTestCase() {
    qtTestHandler = qInstallMessageHandler(QuietPlatform);
}

void WizardFixture::Restart() {
    wizard_.reset();
    ui_ = std::make_unique<TestDialogs>();
    wizard_ = std::make_unique<Wizard>(*ui_);
    wizard_->Start();
}

void WizardFixture::cleanup() {
    wizard_.reset();
    ui_.reset();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

WizardSettings& WizardFixture::Settings() {
    return wizard_->Settings();
}

QWidget& WizardFixture::PageWindow(Page page) {
    if (page == Page::Intro)
        return wizard_->Intro();
    return page == Page::Config ? static_cast<QWidget&>(wizard_->Config()) : wizard_->Progress();
}

QLineEdit& WizardFixture::Box(const char* name) {
    return Get<QLineEdit>(wizard_->Config(), name);
}

void WizardFixture::Click(QWidget& window, const char* name) {
    Get<QPushButton>(window, name).click();
}

void WizardFixture::ToConfig() {
    Click(wizard_->Intro(), "cmdNext");
}

void WizardFixture::ToConfigWithTemplate(const std::string& file) {
    if (wizard_->HasProgress() && wizard_->Progress().isVisible())
        Click(wizard_->Progress(), "cmdBack");
    if (wizard_->HasConfig() && wizard_->Config().isVisible())
        Click(wizard_->Config(), "cmdBack");
    Get<QLineEdit>(wizard_->Intro(), "txtTemplate").setText(Q(file));
    ToConfig();
}

void WizardFixture::FillConfig(const TempDir& dir, const std::string& photos,
                               const std::string& output) {
    Box("txtNavHeader").setText(Q(dir / "header.htm"));
    Box("txtNavFooter").setText(Q(dir / "footer.htm"));
    Box("txtPhotoDir").setText(Q(photos));
    Box("txtOutputDir").setText(Q(output));
}

ProgressPage& WizardFixture::ToProgress(const TempDir& dir, const std::string& photos,
                                        const std::string& output) {
    ToConfig();
    FillConfig(dir, photos, output);
    Click(wizard_->Config(), "cmdNext");
    return wizard_->Progress();
}

ProgressPage& WizardFixture::Run(const TempDir& dir, const std::string& photos) {
    ProgressPage& progress = ToProgress(dir, photos, dir / "out");
    Click(progress, "cmdFinish");
    return progress;
}

QString WizardFixture::ConfigShown() {
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

std::pair<int, int> WizardFixture::Sides() {
    return {Settings().maxWidth, Settings().maxHeight};
}

QStringList WizardFixture::MessageTexts() const {
    QStringList texts;
    for (const MessageRequest& message : ui_->messages)
        texts << message.text;
    return texts;
}
