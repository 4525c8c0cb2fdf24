#pragma once

#include "Settings.h"

#include <string>

namespace vantrel {

// Reads the settings from a template file ("OrboTemplate" and an element per setting).
// Elements apply in the order of the list of settings, straight into `settings` (no
// setter rules); at the first bad element it throws GeneratorError 0x8004019A and the
// later ones stay as they were. A file that cannot be read or parsed changes nothing.
void LoadTemplateFile(const std::string& path, GallerySettings& settings);

// Writes the settings as a template file; throws GeneratorError 0x8004019B.
void SaveTemplateFile(const std::string& path, const GallerySettings& settings);

} // namespace vantrel
