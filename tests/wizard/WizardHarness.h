#pragma once

// Drives the real wizard windows headless: a Dialogs seam that records every
// message and file dialog and answers from a queue, helpers that find controls
// by their object names, and the fixture every page's tests derive from: a
// fresh wizard on its introduction for each test.

#include "Common.h"
#include "ConfigPage.h"
#include "Dialogs.h"
#include "FolderPicker.h"
#include "IntroPage.h"
#include "ProgressPage.h"
#include "Wizard.h"

#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

// Every page's tests use these; the harness is test-only, so the names may be shared.
namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

class TestDialogs : public Dialogs {
public:
    QMessageBox::StandardButton Message(QWidget*, const MessageRequest& request) override {
        messages << request;
        return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
    }
    std::optional<QString> ChooseFile(QWidget*, const FileRequest& request) override {
        fileRequests << request;
        return files.isEmpty() ? std::nullopt : files.takeFirst();
    }
    void RunModal(QDialog& dialog) override {
        dialog.show();
        if (inPicker)
            inPicker(static_cast<FolderPicker&>(dialog));
        pickerLeftOpen = dialog.isVisible();
        dialog.hide();
    }
    void OpenDocument(QWidget*, const QUrl& url, std::function<void()> failed) override {
        opened << url;
        if (!viewerWorks)
            failed();
    }
    void EndProgram(bool) override { ++ends; }

    QList<MessageRequest> messages;
    QList<QMessageBox::StandardButton> answers; // taken in order; OK when none is left
    QList<FileRequest> fileRequests;
    QList<std::optional<QString>> files; // taken in order; cancelled when none is left
    std::function<void(FolderPicker&)> inPicker;
    bool pickerLeftOpen = false;
    QList<QUrl> opened;
    bool viewerWorks = true;
    int ends = 0;
};

// The control of that name in the window; a missing one ends the test run.
template <typename Control>
Control& Get(const QWidget& window, const char* name) {
    auto* control = window.findChild<Control*>(QLatin1String(name));
    if (!control)
        qFatal("%s has no control %s", qPrintable(window.objectName()), name);
    return *control;
}

enum class Page { Intro, Config, Progress };

QString Q(const std::string& text);
bool SamePicture(const QLabel& a, const QLabel& b);
// A photo folder with `photos` sample photos and `broken` files named like photos.
std::string MakePhotos(const testsupport::TempDir& dir, int photos, int broken = 0);
std::string TemplateXml(int maxWidth, int maxHeight, bool pages, bool buttons);

class WizardFixture : public QObject {
    Q_OBJECT

protected:
    // A new wizard on its introduction, as at the start of each test.
    void Restart();

    WizardSettings& Settings();
    QWidget& PageWindow(Page page);
    QLineEdit& Box(const char* name); // on the configuration page
    void Click(QWidget& window, const char* name);

    void ToConfig();
    // Back to the introduction from wherever the wizard is, then on with that template.
    void ToConfigWithTemplate(const std::string& file);
    void FillConfig(const testsupport::TempDir& dir, const std::string& photos,
                    const std::string& output);
    // From the introduction to the progress page, the output going to `output`.
    ProgressPage& ToProgress(const testsupport::TempDir& dir, const std::string& photos,
                             const std::string& output);
    // A run over `photos` into dir/out.
    ProgressPage& Run(const testsupport::TempDir& dir, const std::string& photos);
    // The configuration page's boxes and options as one line: the header, page
    // header, output file, photo folder, rows, columns, pixels and their side,
    // then the per-photo pages and buttons check boxes ("-" when unchecked,
    // "fixed" when disabled).
    QString ConfigShown();
    // The thumbnail width and height limits stored for the engine.
    std::pair<int, int> Sides();
    QStringList MessageTexts() const;

    std::unique_ptr<TestDialogs> ui_;
    std::unique_ptr<Wizard> wizard_;

private slots:
    void initTestCase();
    void init() { Restart(); }
    void cleanup();
};
