#include "ProgressPage.h"

#include "Common.h"
#include "Dialogs.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QSize kMarkSize(18, 18);
const QSize kCompletionSize(72, 72);
constexpr int kProblemsListed = 20;

// Rows that come and go keep their room, so the page does not jump.
template <typename WidgetType>
WidgetType* KeepRoom(WidgetType* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
    return widget;
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text = {}) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setObjectName(QLatin1String(name));
    return label;
}

// Copies the settings into the generator (TargetFrameName always "Photos") and
// runs it. Errors pass to the caller unchanged.
void GenerateWithSettings(WizardSettings& settings, Generator& generator) {
    settings.targetFrameName = "Photos";
    generator.SetSettings(settings);
    generator.GenerateGallery();
}

} // namespace

ProgressPage::ProgressPage(Dialogs& dialogs, WizardSettings& settings)
    : WizardPage(dialogs, settings, QStringLiteral("Tessary :: Progress")) {
    setObjectName(QStringLiteral("frmProgress"));
    QWidget* body = Body();
    QVBoxLayout* layout = BodyLayout();

    lblClickFinish_ = KeepRoom(
        NewLabel(body, "lblClickFinish", QStringLiteral("Click the 'Finish' button to continue")));
    layout->addWidget(lblClickFinish_);
    lblSummary_ = NewLabel(body, "lblSummary");
    lblSummary_->setWordWrap(true);
    lblSummary_->hide();
    layout->addWidget(lblSummary_);
    layout->addSpacing(lblClickFinish_->fontMetrics().height() / 2);

    stepPicture_ = Picture(QStringLiteral("step"), kMarkSize, this);
    imgCheck_ = NewLabel(body, "imgCheck");
    imgCheck_->setPixmap(Picture(QStringLiteral("check"), kMarkSize, this));
    imgCheck_->hide();
    imgX_ = NewLabel(body, "imgX");
    imgX_->setPixmap(Picture(QStringLiteral("cross"), kMarkSize, this));
    imgX_->hide();

    auto* stepsRow = new QHBoxLayout;
    auto* steps = new QGridLayout;
    steps->setHorizontalSpacing(steps->spacing() * 2);
    const char* markNames[4] = {"imgCreatingThumbs", "imgCopying", "imgCreatingPages",
                                "imgAddingThumbs"};
    const char* labelNames[4] = {"Label2", "Label3", "Label4", "Label5"};
    const QString labelTexts[4] = {QStringLiteral("Creating thumbnail images"),
                                   QStringLiteral("Copying original files to output  folder"),
                                   QStringLiteral("Creating the web pages to accompany each photo"),
                                   QStringLiteral("Adding thumbnails to navigation page")};
    QLabel* marks[4] = {};
    for (int step = 0; step < 4; ++step) {
        marks[step] = KeepRoom(NewLabel(body, markNames[step]));
        marks[step]->setPixmap(stepPicture_);
        marks[step]->setFixedSize(kMarkSize);
        marks[step]->hide();
        stepLabels_[step] = KeepRoom(NewLabel(body, labelNames[step], labelTexts[step]));
        stepLabels_[step]->hide();
        steps->addWidget(marks[step], step, 0);
        steps->addWidget(stepLabels_[step], step, 1);
    }
    imgCreatingThumbs_ = marks[0];
    imgCopying_ = marks[1];
    imgCreatingPages_ = marks[2];
    imgAddingThumbs_ = marks[3];
    stepsRow->addLayout(steps);
    stepsRow->addStretch(1);
    imgDNA_ = KeepRoom(NewLabel(body, "imgDNA"));
    imgDNA_->setPixmap(Picture(QStringLiteral("done"), kCompletionSize, this));
    imgDNA_->hide();
    stepsRow->addWidget(imgDNA_, 0, Qt::AlignRight | Qt::AlignVCenter);
    layout->addLayout(stepsRow);
    layout->addSpacing(lblClickFinish_->fontMetrics().height());

    auto* currentRow = new QHBoxLayout;
    lblCurrentProgress_ =
        KeepRoom(NewLabel(body, "lblCurrentProgress", QStringLiteral("Current progress")));
    lblNumericProgress_ = KeepRoom(NewLabel(body, "lblNumericProgress"));
    currentRow->addWidget(lblCurrentProgress_);
    currentRow->addStretch(1);
    currentRow->addWidget(lblNumericProgress_);
    layout->addLayout(currentRow);
    pbCurrentProgress_ = KeepRoom(new QProgressBar(body));
    pbCurrentProgress_->setObjectName(QStringLiteral("pbCurrentProgress"));
    layout->addWidget(pbCurrentProgress_);
    lblTotalProgress_ =
        KeepRoom(NewLabel(body, "lblTotalProgress", QStringLiteral("Total progress")));
    layout->addWidget(lblTotalProgress_);
    pbTotalProgress_ = KeepRoom(new QProgressBar(body));
    pbTotalProgress_->setObjectName(QStringLiteral("pbTotalProgress"));
    layout->addWidget(pbTotalProgress_);
    for (QProgressBar* bar : {pbCurrentProgress_, pbTotalProgress_}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setMinimumWidth(bar->fontMetrics().averageCharWidth() * 70);
    }
    for (QWidget* row : StepRows())
        row->hide();
    layout->addStretch(1);

    cmdSaveSettings_ =
        AddButton(QStringLiteral("cmdSaveSettings"), QStringLiteral("Save current settings"));
    cmdSaveSettings_->setEnabled(false);
    cmdViewGallery_ = AddButton(QStringLiteral("cmdViewGallery"), QStringLiteral("View gallery"));
    cmdViewGallery_->setEnabled(false);
    AddButtonGap();
    cmdClose_ = AddButton(QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    cmdBack_ = AddButton(QStringLiteral("cmdBack"), QStringLiteral("<< &Back"));
    cmdFinish_ = AddButton(QStringLiteral("cmdFinish"), QStringLiteral("&Finish"));
    cmdFinish_->setDefault(true);
    SetCancelButton(cmdClose_);

    connect(cmdSaveSettings_, &QPushButton::clicked, this, &ProgressPage::SaveSettingsPressed);
    connect(cmdViewGallery_, &QPushButton::clicked, this, &ProgressPage::ViewGalleryPressed);
    connect(cmdClose_, &QPushButton::clicked, this, &ProgressPage::QuitUnlessCancelled);
    connect(cmdBack_, &QPushButton::clicked, this, &ProgressPage::BackPressed);
    connect(cmdFinish_, &QPushButton::clicked, this, &ProgressPage::FinishPressed);
}

QList<QWidget*> ProgressPage::StepRows() const {
    return {stepLabels_[0],    stepLabels_[1],      stepLabels_[2],
            stepLabels_[3],    lblCurrentProgress_, pbCurrentProgress_,
            lblTotalProgress_, pbTotalProgress_,    lblNumericProgress_};
}

void ProgressPage::Arrive() {
    // Finish is usable whenever the page is shown again, so that a changed
    // setting can be run again.
    cmdFinish_->setEnabled(true);
}

void ProgressPage::FinishPressed() {
    // A new run starts from clean marks and bars, not from the last run's.
    for (QLabel* mark : {imgCreatingThumbs_, imgCopying_, imgCreatingPages_, imgAddingThumbs_}) {
        mark->hide();
        mark->setPixmap(stepPicture_);
    }
    for (QProgressBar* bar : {pbCurrentProgress_, pbTotalProgress_}) {
        bar->setRange(0, 100);
        bar->setValue(0);
    }
    lblNumericProgress_->clear();
    imgDNA_->hide();
    cmdSaveSettings_->setEnabled(false);
    cmdViewGallery_->setEnabled(false);

    lblClickFinish_->hide();
    lblSummary_->hide();
    cmdFinish_->setEnabled(false);
    cmdBack_->setEnabled(false);
    cmdClose_->setEnabled(false);
    for (QWidget* row : StepRows())
        row->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);

    // The local reference keeps the Generator alive for the whole call, even
    // when a refused close empties oGenerator while it runs.
    auto generator = std::make_shared<Generator>();
    oGenerator_ = generator;
    generator->SetProgressHandler([this](GenEventTypeEnum eventType, const std::int16_t& totalValue,
                                         const std::int16_t& currentValue) {
        OnProgress(eventType, totalValue, currentValue);
    });
    running_ = true;
    try {
        GenerateWithSettings(settings_, *generator);
    } catch (const GeneratorError& error) {
        RunFailed(*generator, error.Source(), error.Description());
        return;
    } catch (const std::exception& error) {
        RunFailed(*generator, "Generator::GenerateGallery()", error.what());
        return;
    }
    running_ = false;
    generator->SetProgressHandler({});
    galleryPage_ =
        QUrl::fromLocalFile(QFileInfo(QString::fromStdString(generator->OutputDirectory() + "/" +
                                                             generator->OutputFilename()))
                                .absoluteFilePath());

    QApplication::restoreOverrideCursor();
    MarkDone(imgAddingThumbs_);
    lblNumericProgress_->hide();
    cmdBack_->setEnabled(true);
    cmdClose_->setEnabled(true);
    cmdClose_->setFocus(Qt::OtherFocusReason);
    imgDNA_->show();
    cmdSaveSettings_->setEnabled(true);
    cmdViewGallery_->setEnabled(true);
    ShowSummary(generator->Summary());
    ShowProblems(*generator);
}

// What the user should know before publishing the folder.
void ProgressPage::ShowSummary(const RunSummary& summary) {
    QStringList lines;
    if (summary.withLocation > 0)
        lines << QStringLiteral("%1 of %2 published photos carry a GPS position ('Remove "
                                "locations from published copies' keeps it private).")
                     .arg(summary.withLocation)
                     .arg(summary.published);
    else if (summary.published > 0)
        lines << QStringLiteral("No published photo carries a GPS position.");
    if (summary.locationsRemoved > 0)
        lines << QStringLiteral("Location removed from %1 copies.").arg(summary.locationsRemoved);
    if (!summary.removed.empty())
        lines << QStringLiteral("Removed %1 earlier outputs no longer part of the gallery.")
                     .arg(summary.removed.size());
    if (summary.ownerOnly > 0)
        lines << QStringLiteral("%1 photos can be read only by their owner; a web server will "
                                "not serve their copies.")
                     .arg(summary.ownerOnly);
    lblSummary_->setText(lines.join(QLatin1Char('\n')));
    lblSummary_->setVisible(!lines.isEmpty());
}

void ProgressPage::RunFailed(Generator& generator, const std::string& source,
                             const std::string& description) {
    running_ = false;
    generator.SetProgressHandler({});
    ShowError(dialogs_, this, source, description);
    // The user can go back, mend the setting that failed and run again, or quit.
    QApplication::restoreOverrideCursor();
    cmdBack_->setEnabled(true);
    cmdClose_->setEnabled(true);
    cmdBack_->setFocus(Qt::OtherFocusReason);
}

void ProgressPage::ViewGalleryPressed() {
    // The page of this run, even if another has begun when the answer comes.
    dialogs_.OpenDocument(this, galleryPage_, [this, page = galleryPage_] {
        MessageRequest request;
        request.text =
            QStringLiteral("No web browser could be started to show %1.").arg(page.toLocalFile());
        request.caption = QStringLiteral("View gallery");
        dialogs_.Message(this, request);
    });
}

void ProgressPage::OnProgress(GenEventTypeEnum eventType, std::int16_t totalValue,
                              std::int16_t currentValue) {
    switch (eventType) {
    case GenEventMakeThumbnail:
        imgCreatingThumbs_->show();
        break;
    case GenEventFileCopy:
        MarkDone(imgCreatingThumbs_);
        imgCopying_->show();
        break;
    case GenEventMakePhotoPage:
        MarkDone(imgCopying_);
        imgCreatingPages_->show();
        break;
    case GenEventAddThumbsToNav:
        imgAddingThumbs_->show();
        if (settings_.createPageForEachPhoto) {
            MarkDone(imgCreatingPages_);
        } else {
            MarkDone(imgCopying_);
            imgCreatingPages_->show();
            MarkSkipped(imgCreatingPages_);
        }
        break;
    default:
        break;
    }

    // In int: four times 32767 photos, and the count's + 1, do not fit 16 bits.
    const int total = totalValue;
    const int current = currentValue;
    if (total > 0) {
        pbCurrentProgress_->setMaximum(total);
        if (pbCurrentProgress_->maximum() >= current)
            pbCurrentProgress_->setValue(current);
    } else {
        // One photo: nothing lies between its first and last item.
        pbCurrentProgress_->setRange(0, 1);
        pbCurrentProgress_->setValue(1);
    }
    const int steps = settings_.createPageForEachPhoto ? 4 : 3;
    pbTotalProgress_->setMaximum(std::max(total * steps, 1));
    lblNumericProgress_->setText(QStringLiteral("%1 of %2").arg(current + 1).arg(total + 1));
    if (pbTotalProgress_->maximum() > pbTotalProgress_->value())
        pbTotalProgress_->setValue(pbTotalProgress_->value() + 1);

    // Keeps the window painted and its close command alive during the run.
    QCoreApplication::processEvents();
}

void ProgressPage::BackPressed() {
    for (QWidget* row : StepRows())
        row->hide();
    emit BackRequested();
}

void ProgressPage::CloseRefused() {
    // During a run the page stops following it; the Generator itself stays
    // alive until GenerateGallery returns.
    if (running_ && oGenerator_) {
        oGenerator_->SetProgressHandler({});
        oGenerator_.reset();
    }
}

void ProgressPage::SaveSettingsPressed() {
    FileRequest request;
    request.mode = FileRequest::Mode::Save;
    request.filters = {QStringLiteral("Tessary Templates [*.cfg] (*.cfg)")};
    request.defaultSuffix = QStringLiteral("cfg");
    request.fileName = saveDialogName_;
    if (const std::optional<QString> chosen = dialogs_.ChooseFile(this, request))
        saveDialogName_ = *chosen;

    if (!oGenerator_) {
        ShowError(dialogs_, this, "Save current settings",
                  "The settings of the last run are no longer available: the page stopped "
                  "following that run when its window was asked to close.");
        return;
    }
    // Saved over a photo, a fragment or an output, the template would destroy what the
    // run needs or makes, or be destroyed by the next run.
    const std::string path = saveDialogName_.toStdString();
    try {
        if (const std::string replaced = oGenerator_->RunWouldReplace(path); !replaced.empty()) {
            ShowError(dialogs_, this, "Save current settings",
                      "The settings cannot be saved there: " + replaced +
                          ", which a run of these settings reads or writes.");
            return;
        }
        oGenerator_->SaveTemplate(path);
    } catch (const GeneratorError& error) {
        ShowError(dialogs_, this, error.Source(), error.Description());
    } catch (const std::exception& error) {
        ShowError(dialogs_, this, "Generator::SaveTemplate()", error.what());
    }
}

void ProgressPage::MarkDone(QLabel* mark) {
    mark->setPixmap(imgCheck_->pixmap());
}

void ProgressPage::MarkSkipped(QLabel* mark) {
    mark->setPixmap(imgX_->pixmap());
}

void ProgressPage::ShowProblems(const Generator& generator) {
    const std::vector<GenerationProblem>& problems = generator.Problems();
    if (problems.empty())
        return;
    QStringList lines;
    const std::size_t listed = std::min<std::size_t>(problems.size(), kProblemsListed);
    for (std::size_t index = 0; index < listed; ++index)
        lines << QString::fromStdString(problems[index].Text());
    QString text = QStringLiteral("The gallery was made, but Tessary had to pass over these "
                                  "items, so some photos may lack a thumbnail, a copy or a "
                                  "page:\n\n") +
                   lines.join(QLatin1Char('\n'));
    if (problems.size() > listed)
        text += QStringLiteral("\n\n... and %1 more.").arg(problems.size() - listed);
    MessageRequest request;
    request.text = text;
    request.caption = QStringLiteral("Gallery Made With Problems");
    request.icon = QMessageBox::Warning;
    dialogs_.Message(this, request);
}
