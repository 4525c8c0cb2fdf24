#pragma once

// Module Common: what the wizard's pages share, the settings record and the way
// every failure of an operation is shown.

#include "vantrel/Generator.h"

#include <string>

class Dialogs;
class QWidget;

// The wizard's settings record: the engine's one settings value, one field per
// Generator property.
using WizardSettings = vantrel::GallerySettings;

// Shows an error the way every failure of an operation is shown: the
// description as text, the source as caption, a critical icon and OK.
void ShowError(Dialogs& dialogs, QWidget* parent, const std::string& source,
               const std::string& description);
