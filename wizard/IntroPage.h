#pragma once

// frmIntro, the first page: frames or not for a new gallery, or a template
// whose settings replace everything.

#include "WizardPage.h"

class QDialog;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class IntroPage : public WizardPage {
    Q_OBJECT
public:
    IntroPage(Dialogs& dialogs, WizardSettings& settings);

    // Leaving by Next: the frames choice, or every setting from the template
    // when one is named. True when a template replaced the settings; a template
    // that cannot be loaded is reported and leaves them as they were.
    bool StoreSettings();

    // optFrames(0): without frames, optFrames(1): with frames.
    QRadioButton* OptFrames(int index) const { return optFrames_[index]; }

    // readme.txt beside the program (a build tree), else where an installed
    // program's readme lies; the first when neither exists, for the message.
    static QString ReadmePath(const QString& programDir);

private:
    void ReadmePressed();
    // The readme in a window of the wizard's own, for a desktop with no viewer for it.
    void ShowReadme(const QString& path);
    void TemplatePressed();

    QRadioButton* optFrames_[2] = {};
    QLineEdit* txtTemplate_ = nullptr;
    QString templateDialogName_;   // the template dialog's last chosen name
    QDialog* frmReadme_ = nullptr; // made when first needed
    QPlainTextEdit* txtReadme_ = nullptr;
};
