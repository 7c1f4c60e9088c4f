// The node's parameters as SPA pods: the formats it offers, the buffers it
// allocates for a chosen format, and its controls (PropInfo and Props).
// Each pod is built into the caller's builder and lives as long as its memory.
#pragma once

#include <spa/param/video/raw.h>
#include <spa/pod/builder.h>

#include <cstddef>
#include <vector>

#include "tools/zarncap/host/source_controls.h"
#include "tools/zarncap/pipewire/node_formats.h"

namespace zarncap {

// One EnumFormat: raw video of that format, its sizes (the first the
// default), at the driver's rate.
const spa_pod* EnumFormatPod(spa_pod_builder* b, const NodeFormat& format, spa_fraction rate);
// The video format a Format pod fixes; false when it is no raw video.
bool ParseVideoFormat(const spa_pod* format, spa_video_info_raw* info);

// Buffers of memfd memory: count within 2..16, one block of `size` bytes,
// rows `stride` apart.
const spa_pod* BuffersPod(spa_pod_builder* b, std::size_t size, std::size_t stride);
// The header meta (sequence and time of each frame).
const spa_pod* HeaderMetaPod(spa_pod_builder* b);

// One PropInfo per control the camera has (shown: the dialog's controls now).
std::vector<const spa_pod*> PropInfoPods(spa_pod_builder* b, const std::vector<ControlValue>& shown);
// The controls' values as one Props object.
const spa_pod* PropsPod(spa_pod_builder* b, const std::vector<ControlValue>& shown);

}  // namespace zarncap
