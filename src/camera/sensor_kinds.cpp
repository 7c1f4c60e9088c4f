#include "camera/sensor_kinds.h"

#include "camera/zarncam.h"

namespace {

// Kind 1 is the camera whose sensor the detection probe does not claim.
BOOL AnyCamera(BYTE /*busAddress*/) { return TRUE; }

constexpr SensorKind kKinds[] = {
    {0, "Model A", DetectZarncam, CreateSensorOpsKind0, &kSensorKind0, kGainWordsKind0, true},
    {1, "Model B", AnyCamera, CreateSensorOpsKind1, &kSensorKind1, kGainWordsKind1, false},
};

}  // namespace

std::span<const SensorKind> SensorKinds() { return kKinds; }

const SensorKind& SensorKindOf(DWORD cameraKind) {
  for (const SensorKind& kind : kKinds) {
    if (kind.number == cameraKind) return kind;
  }
  return kKinds[std::size(kKinds) - 1];
}
