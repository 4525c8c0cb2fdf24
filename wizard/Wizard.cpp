#include "Wizard.h"

#include "ConfigPage.h"
#include "Dialogs.h"
#include "FolderPicker.h"
#include "IntroPage.h"
#include "ProgressPage.h"

#include <QWidget>

static void InitPictures() {
    // The pictures live in this static library; make sure the linker keeps them.
    Q_INIT_RESOURCE(pictures);
}

Wizard::Wizard(Dialogs& dialogs) : dialogs_(dialogs) {
    InitPictures();
}

Wizard::~Wizard() = default;

void Wizard::Start() {
    IntroPage& intro = Intro();
    intro.show();
    intro.raise();
    intro.activateWindow();
}

IntroPage& Wizard::Intro() {
    if (!intro_) {
        intro_ = std::make_unique<IntroPage>(dialogs_, settings_);
        ConnectQuit(*intro_);
        QObject::connect(intro_.get(), &WizardPage::NextRequested, intro_.get(),
                         [this] { IntroNext(); });
    }
    return *intro_;
}

ConfigPage& Wizard::Config() {
    if (!config_) {
        config_ = std::make_unique<ConfigPage>(dialogs_, settings_);
        ConnectQuit(*config_);
        QObject::connect(config_.get(), &WizardPage::NextRequested, config_.get(),
                         [this] { ConfigNext(); });
        QObject::connect(config_.get(), &WizardPage::BackRequested, config_.get(),
                         [this] { ConfigBack(); });
    }
    return *config_;
}

ProgressPage& Wizard::Progress() {
    if (!progress_) {
        progress_ = std::make_unique<ProgressPage>(dialogs_, settings_);
        ConnectQuit(*progress_);
        QObject::connect(progress_.get(), &WizardPage::BackRequested, progress_.get(),
                         [this] { ProgressBack(); });
    }
    return *progress_;
}

void Wizard::ConnectQuit(WizardPage& page) {
    QObject::connect(&page, &WizardPage::QuitConfirmed, &page, [this] { EndProgram(); });
}

void Wizard::IntroNext() {
    IntroPage& intro = Intro();
    const bool replaced = intro.StoreSettings();
    // A first use creates the page with its defaults for the frames choice
    // just stored; a template's values then replace them.
    ConfigPage& config = Config();
    if (replaced)
        config.LoadSettings();
    MovePage(intro, config);
}

void Wizard::ConfigNext() {
    ConfigPage& config = Config();
    if (!config.StoreSettings())
        return;
    ProgressPage& progress = Progress();
    progress.Arrive();
    MovePage(config, progress);
}

void Wizard::ConfigBack() {
    // Nothing is stored: the boxes keep what was typed for the next visit.
    MovePage(Config(), Intro());
}

void Wizard::ProgressBack() {
    MovePage(Progress(), Config());
}

QWidget* Wizard::ActivePage() const {
    QWidget* folder = config_ ? config_->Picker() : nullptr;
    QWidget* pages[] = {folder, progress_.get(), config_.get(), intro_.get()};
    for (QWidget* page : pages)
        if (page && page->isVisible())
            return page;
    return nullptr;
}

void Wizard::MovePage(QWidget& from, QWidget& to) {
    if (!to.property("placed").toBool()) {
        to.setProperty("placed", true);
        to.adjustSize();
        QRect area = to.frameGeometry();
        area.moveCenter(from.frameGeometry().center());
        area.moveTop(from.frameGeometry().top());
        to.move(area.topLeft());
    }
    to.show();
    to.raise();
    to.activateWindow();
    from.hide();
}

void Wizard::EndProgram() {
    const bool duringRun = progress_ && progress_->IsRunning();
    QWidget* folder = config_ ? config_->Picker() : nullptr;
    QWidget* windows[] = {folder, progress_.get(), config_.get(), intro_.get()};
    for (QWidget* window : windows)
        if (window)
            window->hide();
    dialogs_.EndProgram(duringRun);
}
