#pragma once

// The engine works on the public settings value.
#include "vantrel/Generator.h"
