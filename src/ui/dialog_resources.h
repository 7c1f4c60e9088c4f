// The driver's dialog resources: the ids of its dialogs, and their templates
// for a platform that has no resource loader (generated from
// dialog_resources.py, which also writes the DLL's resource script).
#pragma once

#include "zarncap/dialogs.h"

// Hands the templates to the platform's dialog model (once is enough; again is harmless).
void RegisterDriverDialogs();
