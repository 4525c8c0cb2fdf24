#include "Common.h"

#include "ConfigPage.h"
#include "Dialogs.h"
#include "Wizard.h"

#include <vantrel/Generator.h>

#include <exception>

bool CancelQuit(Wizard& wizard, QWidget* parent) {
    MessageRequest request;
    request.text = QStringLiteral("Are you sure you wish to quit Tessary?");
    request.caption = QStringLiteral("Closing Tessary");
    request.buttons = QMessageBox::Yes | QMessageBox::No;
    request.defaultButton = QMessageBox::Yes;
    return wizard.Ui().Message(parent, request) == QMessageBox::No;
}

void GenerateWithSettings(WizardSettings& settings, Generator& generator) {
    settings.TargetFrameName = "Photos";
    generator.SetNavHeaderFilePath(settings.NavHeaderFilePath);
    generator.SetNavFooterFilePath(settings.NavFooterFilePath);
    generator.SetOutputDirectory(settings.OutputDirectory);
    generator.SetOutputFilename(settings.OutputFilename);
    generator.SetPhotoDirectory(settings.PhotoDirectory);
    generator.SetNumberOfCols(settings.NumberOfCols);
    generator.SetNumberOfRows(settings.NumberOfRows);
    generator.SetUseFrames(settings.UseFrames);
    generator.SetMaxHeight(settings.MaxHeight);
    generator.SetMaxWidth(settings.MaxWidth);
    generator.SetDescription(settings.Description);
    generator.SetUseNavButtons(settings.UseNavButtons);
    generator.SetTargetFrameName(settings.TargetFrameName);
    generator.SetImgHeaderFilePath(settings.ImgHeaderFilePath);
    generator.SetImgFooterFilePath(settings.ImgFooterFilePath);
    generator.SetCreatePageForEachPhoto(settings.CreatePageForEachPhoto);
    generator.GenerateGallery();
}

void LoadTemplateSettings(Wizard& wizard, Generator& generator, const std::string& path) {
    try {
        generator.LoadTemplate(path);

        WizardSettings& settings = wizard.Settings();
        settings.UseFrames = generator.UseFrames();
        settings.NavHeaderFilePath = generator.NavHeaderFilePath();
        settings.NavFooterFilePath = generator.NavFooterFilePath();
        settings.ImgHeaderFilePath = generator.ImgHeaderFilePath();
        settings.ImgFooterFilePath = generator.ImgFooterFilePath();
        settings.OutputFilename = generator.OutputFilename();
        settings.OutputDirectory = generator.OutputDirectory();
        settings.PhotoDirectory = generator.PhotoDirectory();
        settings.Description = generator.Description();
        settings.TargetFrameName = generator.TargetFrameName();
        settings.NumberOfRows = generator.NumberOfRows();
        settings.NumberOfCols = generator.NumberOfCols();
        settings.MaxWidth = generator.MaxWidth();
        settings.MaxHeight = generator.MaxHeight();
        settings.UseNavButtons = generator.UseNavButtons();
        settings.CreatePageForEachPhoto = generator.CreatePageForEachPhoto();

        // A first use creates the page with its defaults for the frames
        // choice just read; the template's values then replace them.
        wizard.Config().ShowSettings(settings);
    } catch (const GeneratorError& error) {
        ShowError(wizard, wizard.ActivePage(), error.Source(), error.Description());
    } catch (const std::exception& error) {
        ShowError(wizard, wizard.ActivePage(), "Generator::LoadTemplate()", error.what());
    }
}

void ShowError(Wizard& wizard, QWidget* parent, const std::string& source,
               const std::string& description) {
    MessageRequest request;
    request.text = QString::fromStdString(description);
    request.caption = QString::fromStdString(source);
    request.icon = QMessageBox::Critical;
    request.buttons = QMessageBox::Ok;
    wizard.Ui().Message(parent, request);
}
