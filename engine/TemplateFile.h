#pragma once

#include "Settings.h"

#include <string>

namespace vantrel {

// Reads the settings from a template file ("OrboTemplate" and its sixteen elements).
// Elements apply in a fixed order, straight into `settings` (no setter rules); at the
// first bad element it throws GeneratorError 0x8004019A and the later ones stay as
// they were. A file that does not parse changes nothing.
void LoadTemplateFile(const std::string& path, GallerySettings& settings);

// Writes the settings as a template file; throws GeneratorError 0x8004019B.
void SaveTemplateFile(const std::string& path, const GallerySettings& settings);

} // namespace vantrel
