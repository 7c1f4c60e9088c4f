#include "tools/zarncap/pipewire/node_params.h"

#include <spa/buffer/buffer.h>
#include <spa/buffer/meta.h>
#include <spa/param/buffers.h>
#include <spa/param/format-utils.h>
#include <spa/param/param.h>
#include <spa/param/props.h>
#include <spa/param/video/format-utils.h>

#include <string>

#include "tools/zarncap/pipewire/node_controls.h"
#include "tools/zarncap/pipewire/twins.h"

namespace zarncap {
namespace {

// The buffers a stream of this node may take, and what it asks for.
constexpr int kMinBuffers = 2;
constexpr int kMaxBuffers = 16;
constexpr int kDefaultBuffers = 8;

const spa_pod* PropInfoPod(spa_pod_builder* b, const ControlTwin& twin, const ControlValue& shown) {
  const ZarncapControl& control = *twin.control;
  const int value = NodeValueOf(control, shown);
  const std::string name(control.name), label(control.label);
  spa_pod_frame object, choice, labels;
  spa_pod_builder_push_object(b, &object, SPA_TYPE_OBJECT_PropInfo, SPA_PARAM_PropInfo);
  spa_pod_builder_add(b, SPA_PROP_INFO_id, SPA_POD_Id(twin.propId), SPA_PROP_INFO_name, SPA_POD_String(name.c_str()),
                      SPA_PROP_INFO_description, SPA_POD_String(label.c_str()), 0);
  if (control.IsSlider()) {
    spa_pod_builder_add(b, SPA_PROP_INFO_type, SPA_POD_CHOICE_STEP_Int(value, control.minimum, control.maximum, 1), 0);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(b, &object));
  }
  // A menu, as PipeWire's V4L2 nodes show one: an enumeration of indices
  // (the current one first) and a label for each.
  const std::vector<std::string_view> choices = ChoicesOf(control);
  spa_pod_builder_prop(b, SPA_PROP_INFO_type, 0);
  spa_pod_builder_push_choice(b, &choice, SPA_CHOICE_Enum, 0);
  spa_pod_builder_int(b, value);
  for (size_t i = 0; i < choices.size(); ++i) spa_pod_builder_int(b, static_cast<int32_t>(i));
  spa_pod_builder_pop(b, &choice);
  spa_pod_builder_prop(b, SPA_PROP_INFO_labels, 0);
  spa_pod_builder_push_struct(b, &labels);
  for (size_t i = 0; i < choices.size(); ++i) {
    spa_pod_builder_int(b, static_cast<int32_t>(i));
    spa_pod_builder_string_len(b, choices[i].data(), static_cast<uint32_t>(choices[i].size()));
  }
  spa_pod_builder_pop(b, &labels);
  return static_cast<const spa_pod*>(spa_pod_builder_pop(b, &object));
}

}  // namespace

const spa_pod* EnumFormatPod(spa_pod_builder* b, const NodeFormat& format, spa_fraction rate) {
  spa_pod_frame object, choice;
  spa_pod_builder_push_object(b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
  spa_pod_builder_add(b, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
                      SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(format.video), 0);
  spa_pod_builder_prop(b, SPA_FORMAT_VIDEO_size, 0);
  spa_pod_builder_push_choice(b, &choice, SPA_CHOICE_Enum, 0);
  // An enumeration's first value is its default.
  const auto [defaultWidth, defaultHeight] = format.sizes.front();
  spa_pod_builder_rectangle(b, static_cast<uint32_t>(defaultWidth), static_cast<uint32_t>(defaultHeight));
  for (auto [width, height] : format.sizes) {
    spa_pod_builder_rectangle(b, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  }
  spa_pod_builder_pop(b, &choice);
  spa_pod_builder_add(b, SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate), 0);
  return static_cast<const spa_pod*>(spa_pod_builder_pop(b, &object));
}

bool ParseVideoFormat(const spa_pod* format, spa_video_info_raw* info) {
  uint32_t mediaType = 0, mediaSubtype = 0;
  if (format == nullptr || spa_format_parse(format, &mediaType, &mediaSubtype) < 0) return false;
  if (mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw) return false;
  *info = spa_video_info_raw{};
  return spa_format_video_raw_parse(format, info) >= 0;
}

const spa_pod* BuffersPod(spa_pod_builder* b, std::size_t size, std::size_t stride) {
  return static_cast<const spa_pod*>(spa_pod_builder_add_object(
      b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
      SPA_POD_CHOICE_RANGE_Int(kDefaultBuffers, kMinBuffers, kMaxBuffers), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
      SPA_PARAM_BUFFERS_size, SPA_POD_Int(static_cast<int32_t>(size)), SPA_PARAM_BUFFERS_stride,
      SPA_POD_Int(static_cast<int32_t>(stride)), SPA_PARAM_BUFFERS_dataType,
      SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd)));
}

const spa_pod* HeaderMetaPod(spa_pod_builder* b) {
  return static_cast<const spa_pod*>(spa_pod_builder_add_object(
      b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
      SPA_PARAM_META_size, SPA_POD_Int(static_cast<int32_t>(sizeof(spa_meta_header)))));
}

std::vector<const spa_pod*> PropInfoPods(spa_pod_builder* b, const std::vector<ControlValue>& shown) {
  std::vector<const spa_pod*> pods;
  for (const ControlTwin& twin : ControlTwins()) {
    if (const ControlValue* value = FindShown(shown, twin.control->name)) pods.push_back(PropInfoPod(b, twin, *value));
  }
  return pods;
}

const spa_pod* PropsPod(spa_pod_builder* b, const std::vector<ControlValue>& shown) {
  spa_pod_frame object;
  spa_pod_builder_push_object(b, &object, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
  for (const ControlTwin& twin : ControlTwins()) {
    const ControlValue* value = FindShown(shown, twin.control->name);
    if (value == nullptr) continue;
    spa_pod_builder_prop(b, twin.propId, 0);
    spa_pod_builder_int(b, NodeValueOf(*twin.control, *value));
  }
  return static_cast<const spa_pod*>(spa_pod_builder_pop(b, &object));
}

}  // namespace zarncap
