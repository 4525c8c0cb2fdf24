// The progress page: a run, its steps and bars, errors, problems, saving and viewing the result.

#include "WizardHarness.h"

#include <vantrel/Generator.h>

#include <QApplication>
#include <QTimer>

class ProgressPageTests : public WizardFixture {
    Q_OBJECT

private slots:
    void runShowsEveryStepThenSavesItsSettings() {
        TempDir dir;
        ProgressPage& progress = ToProgress(dir, MakePhotos(dir, 3), dir / "out");
        QVERIFY(progress.isVisible() && !wizard_->Config().isVisible());
        QVERIFY(Get<QLabel>(progress, "lblClickFinish").isVisible());
        for (const char* name : {"Label2", "pbTotalProgress"})
            QVERIFY2(!progress.findChild<QWidget*>(name)->isVisible(), name);
        QVERIFY(!Get<QPushButton>(progress, "cmdSaveSettings").isEnabled());
        Click(progress, "cmdFinish");
        QCOMPARE(MessageTexts(), QStringList{});
        QVERIFY(QApplication::overrideCursor() == nullptr);
        const auto& done = Get<QLabel>(progress, "imgCheck");
        for (const char* mark :
             {"imgCreatingThumbs", "imgCopying", "imgCreatingPages", "imgAddingThumbs"}) {
            QVERIFY2(Get<QLabel>(progress, mark).isVisible(), mark);
            QVERIFY2(SamePicture(Get<QLabel>(progress, mark), done), mark);
        }
        auto& current = Get<QProgressBar>(progress, "pbCurrentProgress");
        auto& total = Get<QProgressBar>(progress, "pbTotalProgress");
        QCOMPARE(std::pair(current.value(), current.maximum()), std::pair(2, 2));
        QCOMPARE(std::pair(total.value(), total.maximum()), std::pair(8, 8));
        const auto& numeric = Get<QLabel>(progress, "lblNumericProgress");
        QVERIFY(numeric.text() == "3 of 3" && !numeric.isVisible());
        QVERIFY(Get<QLabel>(progress, "imgDNA").isVisible());
        QCOMPARE(Get<QLabel>(progress, "lblSummary").text(),
                 "No published photo carries a GPS position.");
        QVERIFY(!Get<QPushButton>(progress, "cmdFinish").isEnabled() &&
                Get<QPushButton>(progress, "cmdBack").isEnabled());
        QCOMPARE(progress.focusWidget(), &Get<QPushButton>(progress, "cmdClose"));
        QVERIFY(fs::exists(dir / "out/photo2.jpg"));
        QCOMPARE(Settings().targetFrameName, "Photos");

        // A file the run reads or writes is refused and left as it was.
        const std::string photo = testsupport::ReadFile(dir / "photos/photo0.jpg");
        ui_->files << Q(dir / "photos/photo0.jpg");
        Click(progress, "cmdSaveSettings");
        QCOMPARE(ui_->messages.size(), 1);
        QVERIFY(ui_->messages[0].text.contains("photo0.jpg' is a photo of the gallery"));
        QCOMPARE(testsupport::ReadFile(dir / "photos/photo0.jpg"), photo);
        ui_->messages.clear();

        ui_->files << Q(dir / "saved.cfg");
        Click(progress, "cmdSaveSettings");
        QVERIFY(ui_->fileRequests[0].mode == FileRequest::Mode::Save &&
                ui_->fileRequests[0].defaultSuffix == "cfg");
        QVERIFY(ui_->messages.isEmpty());
        Generator saved;
        saved.LoadTemplate(dir / "saved.cfg");
        QVERIFY(saved.PhotoDirectory() == dir / "photos" && saved.TargetFrameName() == "Photos");

        // Back hides the step rows; without per-photo pages, Finish again
        // skips the page step.
        Click(progress, "cmdBack");
        QVERIFY(wizard_->Config().isVisible() && !progress.isVisible());
        Get<QCheckBox>(wizard_->Config(), "chkPagePerPhoto").setChecked(false);
        Click(wizard_->Config(), "cmdNext");
        QVERIFY(!Get<QLabel>(progress, "Label2").isVisible());
        QVERIFY(Get<QPushButton>(progress, "cmdFinish").isEnabled());
        Click(progress, "cmdFinish");
        QVERIFY(
            SamePicture(Get<QLabel>(progress, "imgCreatingPages"), Get<QLabel>(progress, "imgX")));
        QVERIFY(SamePicture(Get<QLabel>(progress, "imgCopying"), done));
        QCOMPARE(std::pair(total.value(), total.maximum()), std::pair(6, 6));
    }

    // A failed run leaves the way back open; once mended, the result can be viewed until
    // another run fails.
    void engineErrorStopsTheRunAndSuccessOffersTheGallery() {
        TempDir dir;
        ProgressPage& progress = ToProgress(dir, MakePhotos(dir, 1), dir / "missing/out");
        Click(progress, "cmdFinish");
        QCOMPARE(MessageTexts(), QStringList{"Error: Unable to create output directory"});
        QCOMPARE(ui_->messages[0].caption, "Generator::GenerateGallery()");
        QCOMPARE(ui_->messages[0].icon, QMessageBox::Critical);
        // Not stuck: the pointer is back, and Back leads to the setting to mend.
        QVERIFY(QApplication::overrideCursor() == nullptr);
        for (const char* name : {"cmdFinish", "cmdSaveSettings", "cmdViewGallery"})
            QVERIFY2(!Get<QPushButton>(progress, name).isEnabled(), name);
        for (const char* name : {"cmdBack", "cmdClose"})
            QVERIFY2(Get<QPushButton>(progress, name).isEnabled(), name);
        QVERIFY(!Get<QLabel>(progress, "imgDNA").isVisible());

        Click(progress, "cmdBack");
        Box("txtOutputDir").setText(Q(dir / "out"));
        Click(wizard_->Config(), "cmdNext");
        auto& view = Get<QPushButton>(progress, "cmdViewGallery");
        QVERIFY(!view.isEnabled());
        Click(progress, "cmdFinish");
        QCOMPARE(ui_->messages.size(), 1);
        QVERIFY(Get<QLabel>(progress, "imgDNA").isVisible() && view.isEnabled());
        QVERIFY(fs::exists(dir / "out/photo0.jpg"));
        // A single photo still fills both bars.
        for (const char* name : {"pbCurrentProgress", "pbTotalProgress"}) {
            const auto& bar = Get<QProgressBar>(progress, name);
            QVERIFY2(bar.maximum() > 0 && bar.value() == bar.maximum(), name);
        }
        QCOMPARE(Get<QLabel>(progress, "lblNumericProgress").text(), "1 of 1");

        ui_->messages.clear();
        view.click();
        const QUrl page = QUrl::fromLocalFile(Q(fs::absolute(dir / "out/Default.htm").string()));
        QCOMPARE(ui_->opened, QList<QUrl>{page});
        QVERIFY(ui_->messages.isEmpty());
        ui_->viewerWorks = false;
        view.click();
        QCOMPARE(ui_->messages.size(), 1);
        QVERIFY(ui_->messages[0].text.contains(page.toLocalFile()));

        Click(progress, "cmdBack");
        Box("txtOutputDir").setText(Q(dir / "missing/out"));
        Click(wizard_->Config(), "cmdNext");
        Click(progress, "cmdFinish");
        QVERIFY(!view.isEnabled());
    }

    void problemsAreListedAfterTheRun() {
        TempDir dir;
        ProgressPage& progress = Run(dir, MakePhotos(dir, 1, 22));
        QVERIFY(Get<QLabel>(progress, "imgDNA").isVisible());
        QCOMPARE(ui_->messages.size(), 1);
        const MessageRequest& warning = ui_->messages[0];
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QVERIFY(warning.text.contains("broken0.jpg") && warning.text.count("broken") == 20);
        QVERIFY(warning.text.endsWith(
            QString("and %1 more.").arg(progress.LastGenerator()->Problems().size() - 20)));
    }

    void refusedCloseDuringRunLeavesTheRunAlone() {
        TempDir dir;
        ui_->answers << QMessageBox::No;
        // Fires inside the first progress event, while the engine runs.
        QTimer::singleShot(0, &wizard_->Progress(), [this] { wizard_->Progress().close(); });
        ProgressPage& progress = Run(dir, MakePhotos(dir, 3));
        QCOMPARE(MessageTexts(), QStringList{"Are you sure you wish to quit Tessary?"});
        QVERIFY(progress.isVisible() && ui_->ends == 0);
        QVERIFY(progress.LastGenerator() == nullptr);
        QVERIFY(Get<QLabel>(progress, "imgCreatingThumbs").isVisible() &&
                !Get<QLabel>(progress, "imgCopying").isVisible());
        QCOMPARE(Get<QProgressBar>(progress, "pbTotalProgress").value(), 1);
        QVERIFY(fs::exists(dir / "out/photo2.jpg")); // the run itself went on
        QVERIFY(Get<QLabel>(progress, "imgDNA").isVisible());

        Click(progress, "cmdSaveSettings");
        QCOMPARE(ui_->messages.size(), 2);
        QCOMPARE(ui_->messages[1].icon, QMessageBox::Critical);
    }
};

QTEST_MAIN(ProgressPageTests)
#include "ProgressPageTests.moc"
