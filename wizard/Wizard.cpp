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
    if (!intro_)
        intro_ = std::make_unique<IntroPage>(*this);
    return *intro_;
}

ConfigPage& Wizard::Config() {
    if (!config_)
        config_ = std::make_unique<ConfigPage>(*this);
    return *config_;
}

ProgressPage& Wizard::Progress() {
    if (!progress_)
        progress_ = std::make_unique<ProgressPage>(*this);
    return *progress_;
}

FolderPicker& Wizard::Folder() {
    if (!folder_)
        folder_ = std::make_unique<FolderPicker>();
    return *folder_;
}

QWidget* Wizard::ActivePage() const {
    QWidget* pages[] = {folder_.get(), progress_.get(), config_.get(), intro_.get()};
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
    QWidget* windows[] = {folder_.get(), progress_.get(), config_.get(), intro_.get()};
    for (QWidget* window : windows)
        if (window)
            window->hide();
    dialogs_.EndProgram(duringRun);
}
