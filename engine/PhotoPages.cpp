#include "Escaping.h"
#include "GenerationRun.h"
#include "OrderedWork.h"

namespace vantrel {

namespace {

using Step = GenerationProblem::Step;

constexpr const char* kPreviousButton = "<input type='image' src='/images/prevButton.gif' "
                                        "id='prevButton' name='prevButton' onClick=";
constexpr const char* kHomeButton = "<input type='image' src='/images/homeButton.gif' "
                                    "id='homeButton' name='homeButton' onClick=";
constexpr const char* kNextButton = "<input type='image' src='/images/nextButton.gif' "
                                    "id='nextButton' name='nextButton' onClick=";

std::string ButtonLine(const char* opening, const std::string& link) {
    return std::string(opening) + "\"window.location='" + ScriptUrlAttribute(link) + "'\">\r\n";
}

std::string PageContent(const RunContext& run, std::size_t index, const Fragment& header,
                        const Fragment& footer) {
    const GallerySettings& settings = run.settings;
    const std::vector<std::string>& photos = run.list.photos;
    std::string page = header.text;
    if (settings.useFrames)
        page += "<div name='Description' id='Description'>" + settings.description + "</div>";
    page += "<img src='" + UrlAttribute(run.Names(index).copy) + "'><br>\r\n";
    if (settings.useNavButtons) {
        if (index > 0)
            page += ButtonLine(kPreviousButton, run.Names(index - 1).page);
        page += ButtonLine(kHomeButton, settings.outputFilename);
        if (index + 1 < photos.size())
            page += ButtonLine(kNextButton, run.Names(index + 1).page);
    }
    page += footer.text;
    return page;
}

} // namespace

bool IsSameFile(const Folder& folder, const std::string& name, const std::string& content) {
    const std::optional<FileStamp> stamp = folder.OutputStamp(name);
    if (!stamp || stamp->size != content.size())
        return false;
    std::string bytes;
    std::error_code error;
    return folder.ReadWhole(name, bytes, error, content.size()) && bytes == content;
}

void MakePhotoPages(RunContext& run, const Fragment& navHeader, const Fragment& navFooter,
                    const PhotoPageContent& content) {
    const GallerySettings& settings = run.settings;
    if (run.list.photos.empty())
        return;
    // Each fragment is read once per run: the navigation page's own are reused.
    const Fragment header =
        settings.imgHeaderFilePath.empty() ? navHeader : ReadFragment(settings.imgHeaderFilePath);
    const Fragment footer =
        settings.imgFooterFilePath.empty() ? navFooter : ReadFragment(settings.imgFooterFilePath);
    for (const Fragment* fragment : {&header, &footer}) {
        if (!fragment->error.empty()) {
            run.Report(Step::MakePhotoPage, fragment->path,
                       "cannot be read, so no photo page was written: " + fragment->error);
            return;
        }
    }

    // A page that fails costs only itself.
    const std::size_t count = run.list.photos.size();
    std::vector<std::string> reasons(count);
    RunInOrder(
        count, run.Workers(count),
        [&](std::size_t i, unsigned) {
            const std::string& name = run.Names(i).page;
            const std::string bytes =
                content ? content(i, header, footer) : PageContent(run, i, header, footer);
            if (!run.settings.rebuild && IsSameFile(run.outputFolder, name, bytes))
                return; // left as it is, its time too
            std::error_code error;
            OutputFile page = OutputFile::Create(run.outputFolder, name, error);
            if (error)
                reasons[i] = "cannot be created: " + error.message();
            else if (page.Write(bytes), (error = page.Close(run.outputs.Journal(name))))
                reasons[i] = "cannot be written: " + error.message();
        },
        [&](std::size_t i) {
            const std::string& name = run.Names(i).page;
            if (!reasons[i].empty()) {
                run.Report(Step::MakePhotoPage, run.OutputPath(name), reasons[i]);
                return true;
            }
            run.outputs.Record({"page", name, run.list.photos[i], "", "", "", {}});
            run.Raise(GenEventMakePhotoPage, i);
            return true;
        });
}

} // namespace vantrel
