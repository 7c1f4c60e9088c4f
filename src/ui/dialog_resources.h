// The driver's dialog resources: the ids of its dialogs, and their templates
// for a platform that has no resource loader (generated from
// dialog_resources.py, which also writes the DLL's resource script).
#pragma once

constexpr int kEnglishSourceDialog = 101;
constexpr int kDetailsDialog = 120;
constexpr int kTraceDialog = 121;

// Hands the templates to the platform's dialog model (once is enough; again is harmless).
void RegisterDriverDialogs();
// Whether a resource id is one of the five source-settings or format dialogs.
bool IsSourceDialog(int id);
bool IsFormatDialog(int id);
