#include "vantrel/Generator.h"

#include "EngineErrors.h"
#include "FileIo.h"
#include "GenerationRun.h"
#include "OutputNames.h"
#include "Settings.h"
#include "TemplateFile.h"

#include <filesystem>
#include <utility>
#include <variant>

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

// The setter rules by type: "" and numbers below 1 leave the property, the rest is taken.
void Assign(std::string& property, const std::string& value) {
    SetText(property, value);
}
void Assign(std::int16_t& property, std::int16_t value) {
    SetNumber(property, value);
}
template <class T>
void Assign(T& property, const T& value) {
    property = value;
}

// Where a file is: the file itself when it exists, else its folder and name.
struct Place {
    vantrel::FileIdentity file;
    vantrel::FileIdentity folder;
    std::string folderPath; // with links resolved, for a folder a run has yet to make
    std::string name;
};

Place PlaceOf(const std::string& path) {
    namespace fs = std::filesystem;
    Place place;
    place.file = vantrel::IdentityOfTarget(path);
    std::error_code error;
    const fs::path full = fs::weakly_canonical(fs::absolute(path, error), error);
    place.folderPath = full.parent_path().string();
    place.name = full.filename().string();
    place.folder = vantrel::IdentityOfTarget(place.folderPath);
    return place;
}

bool SamePlace(const Place& a, const Place& b) {
    if (a.file.valid || b.file.valid)
        return a.file == b.file;
    if (a.name != b.name)
        return false;
    if (a.folder.valid || b.folder.valid)
        return a.folder == b.folder;
    return a.folderPath == b.folderPath;
}

} // namespace

vantrel::GallerySettings Generator::Settings() const {
    return state_->settings;
}

void Generator::SetSettings(const vantrel::GallerySettings& s) {
    for (const vantrel::Setting& setting : vantrel::kSettings)
        std::visit([&](auto field) { Assign(state_->settings.*field, s.*field); }, setting.field);
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

std::string Generator::RunWouldReplace(const std::string& path) const {
    const vantrel::GallerySettings& settings = state_->settings;
    if (path.empty())
        return "";
    const Place target = PlaceOf(path);
    const auto at = [&](const std::string& folder, const std::string& name) {
        const std::string candidate = folder + "/" + name;
        if (target.file.valid)
            return vantrel::IdentityOfTarget(candidate) == target.file;
        // Neither exists: only a file of the same name in the same folder is the same.
        return name == target.name && SamePlace(PlaceOf(candidate), target);
    };
    const auto is = [&](const std::string& what) { return "'" + path + "' is " + what; };

    const std::pair<const std::string*, const char*> fragments[] = {
        {&settings.navHeaderFilePath, "the navigation header"},
        {&settings.navFooterFilePath, "the navigation footer"},
        {&settings.imgHeaderFilePath, "the photo header"},
        {&settings.imgFooterFilePath, "the photo footer"}};
    for (const auto& [fragment, what] : fragments) {
        if (!fragment->empty() && SamePlace(PlaceOf(*fragment), target))
            return is(what);
    }
    for (const std::string& input : state_->otherInputs)
        if (SamePlace(PlaceOf(input), target))
            return is("a file the run reads");

    const std::string& out = settings.outputDirectory;
    vantrel::RunPlan plan;
    std::vector<GenerationProblem> ignored;
    try {
        vantrel::PlanRun(settings, OtherInputs(state_->otherInputs, state_->loadedTemplate), false,
                         plan, ignored);
    } catch (const GeneratorError&) {
        // Such a run stops before it writes; only the files it would read are at stake.
        return !out.empty() && at(out, settings.outputFilename) ? is("the navigation page") : "";
    }
    if (at(out, settings.outputFilename))
        return is("the navigation page");
    if (at(out, vantrel::kOwnThumbnailsFile))
        return is("the record of what the gallery's runs made");
    for (const std::string& name : plan.galleryFiles)
        if (at(out, name))
            return is("a page of the gallery");
    for (std::size_t index = 0; index < plan.list.photos.size(); ++index) {
        const std::string& photo = plan.list.photos[index];
        const vantrel::PhotoNames& names = plan.list.names[index];
        const std::string of = " of the photo '" + photo + "'";
        if (at(settings.photoDirectory, photo))
            return is("a photo of the gallery");
        if (at(out, names.copy))
            return is("the copy" + of);
        if (at(out, names.thumbnail) || (!names.twin.empty() && at(out, names.twin)))
            return is("the thumbnail" + of);
        if (settings.createPageForEachPhoto && at(out, names.page))
            return is("the page" + of);
        for (const std::string& display : names.display)
            if (at(out, display))
                return is("a display copy" + of);
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
