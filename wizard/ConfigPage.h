#pragma once

// frmConfig: every setting of a gallery, checked and stored by Next. The
// boxes keep what was typed between visits; only a template replaces it.

#include "WizardPage.h"

#include <memory>

namespace vantrel {
struct Setting;
}
class FolderPicker;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

class ConfigPage : public WizardPage {
    Q_OBJECT
public:
    // The first load: the page's defaults follow the settings' UseFrames.
    ConfigPage(Dialogs& dialogs, WizardSettings& settings);
    ~ConfigPage() override;

    // Fills the page from the settings, after a template replaced them. Each setting
    // shows in the control the list of settings names for it.
    void LoadSettings();
    // Leaving by Next: checks the entries and stores them; false, with the
    // first refused box reported and focused, when one is not usable.
    bool StoreSettings();

    // The folder picker; null until a "..." beside a folder box was pressed.
    FolderPicker* Picker() const { return folder_.get(); }

private:
    void PagePerPhotoChanged(bool set);
    void ChooseFragment(QLineEdit* box);
    void ChooseFolder(QLineEdit* box);

    // The control of a setting, or null when it has none on this page.
    QWidget* Control(const vantrel::Setting& setting) const;
    // The first empty required box gets its message and the focus.
    bool RequiredFieldsPresent();
    // Rows, columns and pixels must be whole numbers the engine can take.
    bool NumbersInRange();
    void Refuse(QWidget* box, const QString& message);

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
    QComboBox* cboPageStyle_ = nullptr;
    QCheckBox* chkStripLocation_ = nullptr;
    QString fragmentDialogName_; // the fragment dialog's last chosen name
    std::unique_ptr<FolderPicker> folder_;
};
