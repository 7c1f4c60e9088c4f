// The sensor kinds a camera may carry, one row each, in the order the device
// open tries them: how the kind is found on the camera's bus, how its
// operation table is made, its register words and gain words, and what the
// dialogs call it. A kind's number is the device's CameraKind, the value the
// private sensor-kind message reports and the virtual camera's "sensor" key.
#pragma once

#include <span>

#include "camera/sensor_ops.h"
#include "camera/sensor_tables.h"
#include "platform/types.h"

struct SensorKind {
  DWORD number;                                       // CameraKind
  const char* model;                                  // the camera details dialog's name for it
  BOOL (*found)(BYTE busAddress);                     // whether the camera carries this kind
  SensorOps* (*create)(int spare, BYTE busAddress);  // its operation table
  const SensorKindTable* words;                       // register words, settle time, start-up values
  std::span<const WORD> gainWords;                    // the gain register's word per level
  bool lightingLevels;                                // the settings dialog offers Normal and Low Light
};

// Every kind, in the order they are tried; the last is found on any camera.
std::span<const SensorKind> SensorKinds();
// The kind whose number is cameraKind (the last kind for an unknown number).
const SensorKind& SensorKindOf(DWORD cameraKind);
