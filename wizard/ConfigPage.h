#pragma once

// frmConfig: every setting of a gallery, checked and stored by Next.

#include "WizardPage.h"

#include "Common.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

class ConfigPage : public WizardPage {
    Q_OBJECT
public:
    // The first load: the page's defaults follow the wizard's UseFrames.
    explicit ConfigPage(Wizard& wizard);

    // Fills the page from settings loaded from a template.
    void ShowSettings(const WizardSettings& settings);

private:
    void NextPressed();
    void BackPressed();
    void PagePerPhotoChanged(bool set);
    void ChooseFragment(QLineEdit* box);
    void ChooseFolder(QLineEdit* box);

    // The first empty required box gets its message and the focus.
    bool RequiredFieldsPresent();
    // Rows, columns and pixels must be whole numbers the engine can take.
    bool NumbersInRange();
    void Refuse(QWidget* box, const QString& message);
    void StoreEntries();

    QLineEdit* txtNavHeader_ = nullptr;
    QLineEdit* txtNavFooter_ = nullptr;
    QLineEdit* txtMainHeader_ = nullptr;
    QLineEdit* txtMainFooter_ = nullptr;
    QPlainTextEdit* txtDescription_ = nullptr;
    QLineEdit* txtPhotoDir_ = nullptr;
    QLineEdit* txtOutputDir_ = nullptr;
    QLineEdit* txtOutputFile_ = nullptr;
    QLineEdit* txtColumns_ = nullptr;
    QLineEdit* txtRows_ = nullptr;
    QCheckBox* chkPagePerPhoto_ = nullptr;
    QCheckBox* chkUseButtons_ = nullptr;
    QComboBox* cboHeightWidth_ = nullptr;
    QLineEdit* txtPixels_ = nullptr;
    QString fragmentDialogName_; // the fragment dialog's last chosen name
};
