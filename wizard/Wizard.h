#pragma once

// The wizard as a whole: the settings record, the three pages, each created on
// first use and afterwards only shown and hidden, and the navigation between
// them. Pages know neither the wizard nor each other: they signal Next, Back
// and a confirmed quit, and the wizard has them store and load the settings.

#include "Common.h"

#include <memory>

class ConfigPage;
class Dialogs;
class IntroPage;
class ProgressPage;
class QWidget;
class WizardPage;

class Wizard {
public:
    explicit Wizard(Dialogs& dialogs);
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // Shows the introduction and nothing else.
    void Start();

    WizardSettings& Settings() { return settings_; }
    Dialogs& Ui() { return dialogs_; }

    IntroPage& Intro();
    ConfigPage& Config(); // the first use sets the page's defaults from UseFrames
    ProgressPage& Progress();
    bool HasConfig() const { return config_ != nullptr; }
    bool HasProgress() const { return progress_ != nullptr; }

    // The page the user sees, to parent message boxes; null when none is visible.
    QWidget* ActivePage() const;

    // The quit was confirmed: every window disappears and the process ends.
    void EndProgram();

private:
    // Where each page's Next and Back lead.
    void IntroNext();
    void ConfigNext();
    void ConfigBack();
    void ProgressBack();
    void ConnectQuit(WizardPage& page);

    // Shows `to` first, then hides `from`; a page shown for the first time
    // appears where `from` is.
    void MovePage(QWidget& from, QWidget& to);

    Dialogs& dialogs_;
    WizardSettings settings_;
    std::unique_ptr<IntroPage> intro_;
    std::unique_ptr<ConfigPage> config_;
    std::unique_ptr<ProgressPage> progress_;
};
