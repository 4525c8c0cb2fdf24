#pragma once

// frmIntro, the first page: frames or not for a new gallery, or a template
// whose settings replace everything.

#include "WizardPage.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

class IntroPage : public WizardPage {
    Q_OBJECT
public:
    explicit IntroPage(Wizard& wizard);

    // optFrames(0): without frames, optFrames(1): with frames.
    QRadioButton* OptFrames(int index) const { return optFrames_[index]; }

    // readme.txt beside the program (a build tree), else where an installed
    // program's readme lies; the first when neither exists, for the message.
    static QString ReadmePath(const QString& programDir);

private:
    void NextPressed();
    void ReadmePressed();
    void TemplatePressed();

    QRadioButton* optFrames_[2] = {};
    QLineEdit* txtTemplate_ = nullptr;
    QString templateDialogName_; // the template dialog's last chosen name
};
