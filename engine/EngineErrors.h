#pragma once

#include "Settings.h"

#include "vantrel/Generator.h"

#include <string>

namespace vantrel {

// The engine's error codes; the number of an error is 0x80040000 plus the code.
enum class ErrorCode : int {
    MissingNavHeader = 401,
    MissingNavFooter = 402,
    MissingOutputFilename = 403,
    MissingOutputDirectory = 404,
    MissingPhotoDirectory = 405,
    MissingRows = 406,
    MissingCols = 407,
    CannotCreateOutputDirectory = 408,
    CannotCreateOutputFile = 409,
    CannotLoadTemplate = 410,
    CannotSaveTemplate = 411,
    CannotListPhotoDirectory = 412,
};

// The error with its fixed source and description (codes 401 to 409).
GeneratorError MakeError(ErrorCode code);

// 0x80040199 with the cause: a navigation page name that would replace a photo, another
// output, an input or a file of the user's; another run writing the gallery.
GeneratorError NavigationPageClashError(const std::string& clash);

// 0x8004019C, "Error: Unable to list photo directory" and the cause: nothing is written,
// so an earlier gallery is not emptied by a folder that could not be read.
GeneratorError PhotoFolderError(const std::string& cause);

// "Error: Unable to load template file", the parser's reason and the cause, CR LF apart.
GeneratorError TemplateLoadError(const std::string& xmlError, const std::string& cause);
// "Error: Unable to save template file" and the cause, CR LF apart.
GeneratorError TemplateSaveError(const std::string& cause);

// Throws the first missing required setting's error; blanks and negative numbers pass.
void ValidateInputs(const GallerySettings& settings);

} // namespace vantrel
