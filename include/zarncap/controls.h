// The camera's picture controls, in one table: each as the driver's "Video
// Capture Settings" dialog offers it (a 0..100 slider with its edit box, or a
// choice of radio buttons), its default, the name other applications show,
// where the driver keeps it, and the one rule between two of them. Every host
// (zarncap controls, the preview, the V4L2 face, the PipeWire node) reads its
// controls from here; a host adds only its own ids.
#pragma once

#include <string_view>

#include "zarncap/dialogs.h"

// One value of a choice and the radio button that picks it.
struct ZarncapChoice {
  std::string_view value;
  int button;
};

struct ZarncapControl {
  std::string_view name;   // zarncap's name: brightness, contrast, colour, compression, quality, lighting
  std::string_view label;  // the name other applications give it (V4L2's and PipeWire's: colour is "Saturation")
  int scroll, edit;        // a slider's scroll bar and edit box; 0 for a choice
  int minimum, maximum, defaultValue;  // slider positions; for a choice, indexes into choices
  ZarncapChoice choices[3];            // a choice's values by index ({} past the last)
  // Another control that must hold a value before the dialog takes this one
  // (the dialog enables the slider only then); empty: none.
  std::string_view needsControl, needsValue;
  std::string_view section;  // where the driver keeps it in its settings file
  std::string_view keys;     // the key, or keys, in that section
  constexpr bool IsSlider() const { return scroll != 0; }
};

// In the order hosts list them. Defaults are the driver's own: the settings
// file's when it holds nothing (compression manual is TemporalDifference 1,
// AutoThreshold 0).
inline constexpr ZarncapControl kControls[] = {
    {"brightness", "Brightness", kBrightnessScroll, kBrightnessEdit, 0, 100, 50, {}, "", "", "COLSPACE", "Brightness"},
    {"contrast", "Contrast", kContrastScroll, kContrastEdit, 0, 100, 50, {}, "", "", "COLSPACE", "Contrast"},
    {"colour", "Saturation", kColourScroll, kColourEdit, 0, 100, 50, {}, "", "", "COLSPACE", "Colour"},
    {"compression", "Compression", 0, 0, 0, 2, 2,
     {{"off", kCompressionOff}, {"automatic", kCompressionAutomatic}, {"manual", kCompressionManual}}, "", "", "NUBO",
     "TemporalDifference, AutoThreshold"},
    {"quality", "Compression Quality", kQualityScroll, kQualityEdit, 0, 100, 75, {}, "compression", "manual", "NUBO",
     "ImageQuality"},
    {"lighting", "Lighting", 0, 0, 0, 1, 0, {{"normal", kLightingNormal}, {"low", kLightingLow}}, "", "", "NUBO",
     "CameraGain"},
};

// The control called name (as in the table, lower case), or nullptr.
constexpr const ZarncapControl* ZarncapControlNamed(std::string_view name) {
  for (const ZarncapControl& control : kControls) {
    if (control.name == name) return &control;
  }
  return nullptr;
}
