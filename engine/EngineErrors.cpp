#include "EngineErrors.h"

#include <cstdint>

namespace vantrel {

namespace {

struct ErrorText {
    ErrorCode code;
    const char* source;
    const char* description;
};

// Three validation sources carry a blank after the colons; callers show the source
// as a caption and may compare it, so it stays as it always was.
constexpr ErrorText kErrors[] = {
    {ErrorCode::MissingNavHeader, "Generator::ValidateInputs()",
     "[NavHeaderFilePath Property] You must specify the location of the header file to use for "
     "the navigation page before proceeding"},
    {ErrorCode::MissingNavFooter, "Generator::ValidateInputs()",
     "[NavFooterFilePath Property] You must specify the location of the footer file to use for "
     "the navigation page before proceeding"},
    {ErrorCode::MissingOutputFilename, "Generator::ValidateInputs()",
     "[OutputFilename Property] You must specify a name for the navigation page before "
     "proceeding"},
    {ErrorCode::MissingOutputDirectory, "Generator:: ValidateInputs()",
     "[OutputDirectory Property] You must specify the directory, which will accept the gallery, "
     "before proceeding"},
    {ErrorCode::MissingPhotoDirectory, "Generator::ValidateInputs()",
     "[PhotoDirectory Property] You must specify the directory, which contains the photos, "
     "before proceeding"},
    {ErrorCode::MissingRows, "Generator:: ValidateInputs()",
     "[NumberOfRows Property] You must specify the number of rows in the navigation table "
     "before proceeding"},
    {ErrorCode::MissingCols, "Generator:: ValidateInputs()",
     "[NumberOfCols Property] You must specify the number of columns in the navigation table "
     "before proceeding"},
    {ErrorCode::CannotCreateOutputDirectory, "Generator::GenerateGallery()",
     "Error: Unable to create output directory"},
    {ErrorCode::CannotCreateOutputFile, "Generator::GenerateGallery()",
     "Error: Unable to create output file"},
};

std::int32_t Number(ErrorCode code) {
    return static_cast<std::int32_t>(0x80040000u + static_cast<std::uint32_t>(code));
}

} // namespace

GeneratorError MakeError(ErrorCode code) {
    for (const ErrorText& error : kErrors) {
        if (error.code == code)
            return GeneratorError(Number(code), error.source, error.description);
    }
    return GeneratorError(Number(code), "Generator", "Error");
}

GeneratorError NavigationPageClashError(const std::string& clash) {
    return GeneratorError(Number(ErrorCode::CannotCreateOutputFile), "Generator::GenerateGallery()",
                          "Error: Unable to create output file\r\nMore Info: " + clash);
}

GeneratorError PhotoFolderError(const std::string& cause) {
    return GeneratorError(Number(ErrorCode::CannotListPhotoDirectory),
                          "Generator::GenerateGallery()",
                          "Error: Unable to list photo directory\r\nMore Info: " + cause);
}

GeneratorError TemplateLoadError(const std::string& xmlError, const std::string& cause) {
    return GeneratorError(Number(ErrorCode::CannotLoadTemplate), "Generator::LoadTemplate()",
                          "Error: Unable to load template file\r\nXML Error: " + xmlError +
                              "\r\nMore Info: " + cause);
}

GeneratorError TemplateSaveError(const std::string& cause) {
    return GeneratorError(Number(ErrorCode::CannotSaveTemplate), "Generator::SaveTemplate()",
                          "Error: Unable to save template file\r\nMore Info: " + cause);
}

void ValidateInputs(const GallerySettings& settings) {
    // The order of the tests is not the order of the codes.
    if (settings.navHeaderFilePath.empty())
        throw MakeError(ErrorCode::MissingNavHeader);
    if (settings.navFooterFilePath.empty())
        throw MakeError(ErrorCode::MissingNavFooter);
    if (settings.outputFilename.empty())
        throw MakeError(ErrorCode::MissingOutputFilename);
    if (settings.numberOfCols == 0)
        throw MakeError(ErrorCode::MissingCols);
    if (settings.numberOfRows == 0)
        throw MakeError(ErrorCode::MissingRows);
    if (settings.outputDirectory.empty())
        throw MakeError(ErrorCode::MissingOutputDirectory);
    if (settings.photoDirectory.empty())
        throw MakeError(ErrorCode::MissingPhotoDirectory);
}

} // namespace vantrel
