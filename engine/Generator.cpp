#include "vantrel/Generator.h"

#include "EngineErrors.h"
#include "GenerationRun.h"
#include "Settings.h"
#include "TemplateFile.h"

#include <utility>

GeneratorError::GeneratorError(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description), number_(number), source_(std::move(source)),
      description_(std::move(description)) {}

std::string GenerationProblem::Text() const {
    const char* what = "";
    switch (step) {
    case Step::ListPhotos:
        what = "Photo folder: ";
        break;
    case Step::ReadFragment:
        what = "Fragment ";
        break;
    case Step::NavigationPage:
        what = "Navigation page ";
        break;
    case Step::MakeThumbnail:
        what = "Thumbnail of ";
        break;
    case Step::CopyFile:
        what = "Copy of ";
        break;
    case Step::MakePhotoPage:
        what = "Photo pages: ";
        break;
    case Step::RemoveOutput:
        what = "Earlier output ";
        break;
    }
    return what + file + ": " + reason;
}

struct Generator::State {
    vantrel::GallerySettings settings;
    // Shared so that a handler replacing itself during a call does not destroy the
    // function that is running.
    std::shared_ptr<const ProgressHandler> handler;
    std::vector<GenerationProblem> problems;
    RunSummary summary;
    std::vector<std::string> otherInputs;
    std::string loadedTemplate;
};

Generator::Generator() : state_(std::make_unique<State>()) {}
Generator::~Generator() = default;

namespace {

void SetText(std::string& property, const std::string& value) {
    if (!value.empty())
        property = value;
}

void SetNumber(std::int16_t& property, std::int16_t value) {
    if (value >= 1)
        property = value;
}

} // namespace

vantrel::GallerySettings Generator::Settings() const {
    return state_->settings;
}

void Generator::SetSettings(const vantrel::GallerySettings& s) {
    SetNavHeaderFilePath(s.navHeaderFilePath);
    SetNavFooterFilePath(s.navFooterFilePath);
    SetImgHeaderFilePath(s.imgHeaderFilePath);
    SetImgFooterFilePath(s.imgFooterFilePath);
    SetOutputFilename(s.outputFilename);
    SetDescription(s.description);
    SetPhotoDirectory(s.photoDirectory);
    SetOutputDirectory(s.outputDirectory);
    SetTargetFrameName(s.targetFrameName);
    SetNumberOfRows(s.numberOfRows);
    SetNumberOfCols(s.numberOfCols);
    SetMaxWidth(s.maxWidth);
    SetMaxHeight(s.maxHeight);
    SetUseNavButtons(s.useNavButtons);
    SetUseFrames(s.useFrames);
    SetCreatePageForEachPhoto(s.createPageForEachPhoto);
    // 0 is a choice here (one worker per core), so only a negative count is ignored.
    if (s.jobs >= 0)
        state_->settings.jobs = s.jobs;
    state_->settings.rebuild = s.rebuild;
    state_->settings.fastThumbnails = s.fastThumbnails;
}

// clang-format off
std::string Generator::NavHeaderFilePath() const { return state_->settings.navHeaderFilePath; }
void Generator::SetNavHeaderFilePath(const std::string& value) { SetText(state_->settings.navHeaderFilePath, value); }
std::string Generator::NavFooterFilePath() const { return state_->settings.navFooterFilePath; }
void Generator::SetNavFooterFilePath(const std::string& value) { SetText(state_->settings.navFooterFilePath, value); }
std::string Generator::ImgHeaderFilePath() const { return state_->settings.imgHeaderFilePath; }
void Generator::SetImgHeaderFilePath(const std::string& value) { SetText(state_->settings.imgHeaderFilePath, value); }
std::string Generator::ImgFooterFilePath() const { return state_->settings.imgFooterFilePath; }
void Generator::SetImgFooterFilePath(const std::string& value) { SetText(state_->settings.imgFooterFilePath, value); }
std::string Generator::OutputFilename() const { return state_->settings.outputFilename; }
void Generator::SetOutputFilename(const std::string& value) { SetText(state_->settings.outputFilename, value); }
std::string Generator::Description() const { return state_->settings.description; }
void Generator::SetDescription(const std::string& value) { SetText(state_->settings.description, value); }
std::string Generator::PhotoDirectory() const { return state_->settings.photoDirectory; }
void Generator::SetPhotoDirectory(const std::string& value) { SetText(state_->settings.photoDirectory, value); }
std::string Generator::OutputDirectory() const { return state_->settings.outputDirectory; }
void Generator::SetOutputDirectory(const std::string& value) { SetText(state_->settings.outputDirectory, value); }
std::string Generator::TargetFrameName() const { return state_->settings.targetFrameName; }
void Generator::SetTargetFrameName(const std::string& value) { SetText(state_->settings.targetFrameName, value); }
std::int16_t Generator::NumberOfRows() const { return state_->settings.numberOfRows; }
void Generator::SetNumberOfRows(std::int16_t value) { SetNumber(state_->settings.numberOfRows, value); }
std::int16_t Generator::NumberOfCols() const { return state_->settings.numberOfCols; }
void Generator::SetNumberOfCols(std::int16_t value) { SetNumber(state_->settings.numberOfCols, value); }
std::int16_t Generator::MaxWidth() const { return state_->settings.maxWidth; }
void Generator::SetMaxWidth(std::int16_t value) { SetNumber(state_->settings.maxWidth, value); }
std::int16_t Generator::MaxHeight() const { return state_->settings.maxHeight; }
void Generator::SetMaxHeight(std::int16_t value) { SetNumber(state_->settings.maxHeight, value); }
bool Generator::UseNavButtons() const { return state_->settings.useNavButtons; }
void Generator::SetUseNavButtons(bool value) { state_->settings.useNavButtons = value; }
bool Generator::UseFrames() const { return state_->settings.useFrames; }
void Generator::SetUseFrames(bool value) { state_->settings.useFrames = value; }
bool Generator::CreatePageForEachPhoto() const { return state_->settings.createPageForEachPhoto; }
void Generator::SetCreatePageForEachPhoto(bool value) { state_->settings.createPageForEachPhoto = value; }
// clang-format on

namespace {

std::vector<std::string> OtherInputs(std::vector<std::string> inputs,
                                     const std::string& loadedTemplate) {
    if (!loadedTemplate.empty())
        inputs.push_back(loadedTemplate);
    return inputs;
}

} // namespace

void Generator::GenerateGallery() {
    // The run works on a copy: a Progress handler may change properties meanwhile.
    const vantrel::GallerySettings settings = state_->settings;
    std::vector<GenerationProblem> problems;
    RunSummary summary;
    const vantrel::ProgressSink progress = [this](GenEventTypeEnum type, std::int16_t total,
                                                  std::int16_t current) {
        const std::shared_ptr<const ProgressHandler> handler = state_->handler;
        if (handler && *handler)
            (*handler)(type, total, current);
    };
    try {
        vantrel::RunGeneration(settings, OtherInputs(state_->otherInputs, state_->loadedTemplate),
                               progress, problems, summary);
    } catch (...) {
        state_->problems = std::move(problems);
        state_->summary = std::move(summary);
        throw;
    }
    state_->problems = std::move(problems);
    state_->summary = std::move(summary);
}

std::vector<std::string> Generator::Photos() const {
    std::vector<GenerationProblem> ignored;
    vantrel::RunPlan plan;
    try {
        vantrel::PlanRun(state_->settings, OtherInputs(state_->otherInputs, state_->loadedTemplate),
                         false, plan, ignored);
    } catch (const GeneratorError&) {
        // What could be listed before the refusal is still the folder's photos.
    }
    return plan.list.photos;
}

std::string Generator::NavigationPageClash() const {
    std::vector<GenerationProblem> ignored;
    vantrel::RunPlan plan;
    try {
        vantrel::PlanRun(state_->settings, OtherInputs(state_->otherInputs, state_->loadedTemplate),
                         false, plan, ignored);
    } catch (const GeneratorError& error) {
        const std::string& text = error.Description();
        const std::size_t more = text.find("More Info: ");
        if (error.Number() == static_cast<std::int32_t>(0x80040199) && more != std::string::npos)
            return text.substr(more + 11);
    }
    return "";
}

void Generator::LoadTemplate(const std::string& templateFile) {
    vantrel::LoadTemplateFile(templateFile, state_->settings);
    state_->loadedTemplate = templateFile;
}

void Generator::SaveTemplate(const std::string& templateFile) {
    vantrel::SaveTemplateFile(templateFile, state_->settings);
}

void Generator::SetProgressHandler(ProgressHandler handler) {
    state_->handler =
        handler ? std::make_shared<const ProgressHandler>(std::move(handler)) : nullptr;
}

const std::vector<GenerationProblem>& Generator::Problems() const {
    return state_->problems;
}

const RunSummary& Generator::Summary() const {
    return state_->summary;
}

void Generator::SetOtherInputs(std::vector<std::string> paths) {
    state_->otherInputs = std::move(paths);
}
