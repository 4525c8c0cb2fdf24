#pragma once

// frmProgress: runs the generation on this thread, shows its four steps, two
// bars and the count, and saves the settings of the run as a template.

#include "WizardPage.h"

#include <vantrel/Generator.h>

#include <QUrl>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

class ProgressPage : public WizardPage {
    Q_OBJECT
public:
    ProgressPage(Dialogs& dialogs, WizardSettings& settings);

    // Shown for a run of the settings just stored: Finish can be pressed.
    void Arrive();
    bool IsRunning() const { return running_; }
    // The Generator of the last run; null before the first run and after a
    // refused close during a run.
    Generator* LastGenerator() const { return oGenerator_.get(); }

    // Handles one Progress event of the run.
    void OnProgress(GenEventTypeEnum eventType, std::int16_t totalValue, std::int16_t currentValue);

protected:
    void CloseRefused() override;

private:
    void FinishPressed();
    void BackPressed();
    void SaveSettingsPressed();
    void ViewGalleryPressed();
    // After the error box the page is usable again.
    void RunFailed(Generator& generator, const std::string& source, const std::string& description);
    void ShowSummary(const RunSummary& summary);
    void MarkDone(QLabel* mark);
    void MarkSkipped(QLabel* mark);
    void ShowProblems(const Generator& generator);
    QList<QWidget*> StepRows() const;

    QLabel* lblClickFinish_ = nullptr;
    QLabel* lblSummary_ = nullptr;
    QLabel* stepLabels_[4] = {};
    QLabel* imgCreatingThumbs_ = nullptr;
    QLabel* imgCopying_ = nullptr;
    QLabel* imgCreatingPages_ = nullptr;
    QLabel* imgAddingThumbs_ = nullptr;
    QLabel* lblCurrentProgress_ = nullptr;
    QProgressBar* pbCurrentProgress_ = nullptr;
    QLabel* lblNumericProgress_ = nullptr;
    QLabel* lblTotalProgress_ = nullptr;
    QProgressBar* pbTotalProgress_ = nullptr;
    QLabel* imgCheck_ = nullptr;
    QLabel* imgX_ = nullptr;
    QLabel* imgDNA_ = nullptr;
    QPushButton* cmdSaveSettings_ = nullptr;
    QPushButton* cmdViewGallery_ = nullptr; // opens the navigation page of the last run
    QPushButton* cmdClose_ = nullptr;
    QPushButton* cmdBack_ = nullptr;
    QPushButton* cmdFinish_ = nullptr;
    QPixmap stepPicture_;

    std::shared_ptr<Generator> oGenerator_;
    bool running_ = false;
    QString saveDialogName_; // the save dialog's last chosen name
    QUrl galleryPage_;       // the last successful run's navigation page
};
