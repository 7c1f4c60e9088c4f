// The device's controls and control events.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "tools/zarncap/v4l2/face_device.h"

namespace zarncap {
namespace {

constexpr std::size_t kMaxEvents = 32;
constexpr std::uint32_t kIdFlags = V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;

bool IsClass(const FaceControl& control) { return control.type == V4L2_CTRL_TYPE_CTRL_CLASS; }

std::uint32_t FlagsOf(const FaceControl& control) {
  return IsClass(control) ? V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY : 0;
}

// The control QUERYCTRL answers for an id, following V4L2_CTRL_FLAG_NEXT_CTRL.
bool IsPrivate(const FaceControl& control) { return (control.id & 0xFFFF) >= 0x1000; }

const FaceControl* ControlFor(std::uint32_t id) {
  if ((id & V4L2_CTRL_FLAG_NEXT_CTRL) == 0) {
    // Old applications find the private controls at V4L2_CID_PRIVATE_BASE + n.
    if (id >= V4L2_CID_PRIVATE_BASE && (id & kIdFlags) == 0) {
      std::uint32_t n = id - V4L2_CID_PRIVATE_BASE;
      for (const FaceControl& control : FaceControlTable()) {
        if (IsPrivate(control) && n-- == 0) return &control;
      }
      return nullptr;
    }
    return FindFaceControl(id & ~kIdFlags);
  }
  const std::uint32_t after = id & ~kIdFlags;
  for (const FaceControl& control : FaceControlTable()) {
    if (control.id > after) return &control;
  }
  return nullptr;
}

}  // namespace

// The id a query answers with: the control's own, or the old private alias asked for.
static std::uint32_t AnswerId(std::uint32_t asked, const FaceControl& control) {
  return asked >= V4L2_CID_PRIVATE_BASE && (asked & kIdFlags) == 0 ? asked : control.id;
}

int FaceDevice::QueryControl(v4l2_queryctrl* inOut) {
  const FaceControl* control = ControlFor(inOut->id);
  if (control == nullptr) return -EINVAL;
  const std::uint32_t asked = inOut->id;
  std::memset(inOut, 0, sizeof *inOut);
  inOut->id = AnswerId(asked, *control);
  inOut->type = control->type;
  std::strncpy(reinterpret_cast<char*>(inOut->name), control->name, sizeof inOut->name - 1);
  inOut->minimum = control->minimum;
  inOut->maximum = control->maximum;
  inOut->step = control->step;
  inOut->default_value = control->defaultValue;
  inOut->flags = FlagsOf(*control);
  return 0;
}

int FaceDevice::QueryExtControl(v4l2_query_ext_ctrl* inOut) {
  v4l2_queryctrl plain = {};
  plain.id = inOut->id;
  const int found = QueryControl(&plain);
  if (found != 0) return found;
  std::memset(inOut, 0, sizeof *inOut);
  inOut->id = plain.id;
  inOut->type = plain.type;
  std::memcpy(inOut->name, plain.name, sizeof plain.name);
  inOut->minimum = plain.minimum;
  inOut->maximum = plain.maximum;
  inOut->step = static_cast<std::uint64_t>(plain.step);
  inOut->default_value = plain.default_value;
  inOut->flags = plain.flags;
  if (plain.type != V4L2_CTRL_TYPE_CTRL_CLASS) {
    inOut->elem_size = sizeof(std::int32_t);
    inOut->elems = 1;
  }
  return 0;
}

int FaceDevice::QueryMenu(v4l2_querymenu* inOut) {
  const FaceControl* control = (inOut->id & kIdFlags) == 0 ? ControlFor(inOut->id) : nullptr;
  if (control == nullptr || control->menu.empty() || inOut->index >= control->menu.size()) return -EINVAL;
  const std::uint32_t id = inOut->id, index = inOut->index;
  std::memset(inOut, 0, sizeof *inOut);
  inOut->id = id;
  inOut->index = index;
  std::string name = control->menu[index];
  name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  std::strncpy(reinterpret_cast<char*>(inOut->name), name.c_str(), sizeof inOut->name - 1);
  return 0;
}

int FaceDevice::GetControl(v4l2_control* inOut) {
  const FaceControl* control = (inOut->id & kIdFlags) == 0 ? ControlFor(inOut->id) : nullptr;
  if (control == nullptr) return -EINVAL;
  if (IsClass(*control)) return -EACCES;
  inOut->value = controls_.Get(control->id);
  return 0;
}

// 0, or -ERANGE for a menu index the control does not have (integers are
// brought into range instead, as V4L2 does).
int FaceDevice::CheckControl(const FaceControl& control, std::int32_t value) const {
  if (!control.menu.empty() && (value < control.minimum || value > control.maximum)) return -ERANGE;
  return 0;
}

int FaceDevice::SetControl(int connection, v4l2_control* inOut) {
  const FaceControl* control = (inOut->id & kIdFlags) == 0 ? ControlFor(inOut->id) : nullptr;
  if (control == nullptr) return -EINVAL;
  if (IsClass(*control)) return -EACCES;
  if (!PriorityAllows(connection)) return -EBUSY;
  const int checked = CheckControl(*control, inOut->value);
  if (checked != 0) return checked;
  const std::int32_t value = std::clamp(inOut->value, control->minimum, control->maximum);
  if (value != controls_.Get(control->id)) {
    if (!controls_.Set(control->id, value)) return -EIO;
    ControlChanged(connection, *control);
  }
  inOut->value = value;
  return 0;
}

int FaceDevice::ExtControls(int connection, unsigned long request, std::vector<std::uint8_t>& argument) {
  auto* header = reinterpret_cast<v4l2_ext_controls*>(argument.data());
  const std::size_t count = header->count;
  if (argument.size() < sizeof *header + count * sizeof(v4l2_ext_control)) return -EFAULT;
  auto* items = reinterpret_cast<v4l2_ext_control*>(argument.data() + sizeof *header);
  const bool get = request == VIDIOC_G_EXT_CTRLS, set = request == VIDIOC_S_EXT_CTRLS;
  const std::uint32_t which = header->which;
  const bool defaults = which == V4L2_CTRL_WHICH_DEF_VAL;
  if (which != V4L2_CTRL_WHICH_CUR_VAL && !defaults && which != V4L2_CTRL_CLASS_USER) return -EINVAL;
  if (defaults && !get) return -EINVAL;
  if (count == 0) return 0;
  header->error_idx = static_cast<std::uint32_t>(count);
  // Every control is checked before any is set.
  for (std::size_t i = 0; i < count; ++i) {
    const FaceControl* control = FindFaceControl(items[i].id);
    const std::uint32_t failAt = set ? static_cast<std::uint32_t>(count) : static_cast<std::uint32_t>(i);
    if (control == nullptr) {
      header->error_idx = failAt;
      return -EINVAL;
    }
    if (IsClass(*control)) {
      // Write-only on reading: refused after every control was found.
      header->error_idx = get ? static_cast<std::uint32_t>(count) : failAt;
      return -EACCES;
    }
    if (!get) {
      const int checked = CheckControl(*control, items[i].value);
      if (checked != 0) {
        header->error_idx = failAt;
        return checked;
      }
      items[i].value = std::clamp(items[i].value, control->minimum, control->maximum);
    }
  }
  if (set && !PriorityAllows(connection)) return -EBUSY;
  for (std::size_t i = 0; i < count; ++i) {
    const FaceControl& control = *FindFaceControl(items[i].id);
    if (get) {
      items[i].value = defaults ? control.defaultValue : controls_.Get(control.id);
    } else if (set && items[i].value != controls_.Get(control.id)) {
      if (!controls_.Set(control.id, items[i].value)) {
        header->error_idx = static_cast<std::uint32_t>(i);
        return -EIO;
      }
      ControlChanged(connection, control);
    }
  }
  return 0;
}

// ---- events

void FaceDevice::QueueControlEvent(int id, Connection& to, const FaceControl& control) {
  if (to.events.empty()) eventTargets_.push_back(id);
  if (to.events.size() >= kMaxEvents) to.events.pop_front();
  v4l2_event event = {};
  event.type = V4L2_EVENT_CTRL;
  event.id = control.id;
  event.u.ctrl.changes = V4L2_EVENT_CTRL_CH_VALUE;
  event.u.ctrl.type = control.type;
  event.u.ctrl.value = controls_.Get(control.id);
  event.u.ctrl.flags = FlagsOf(control);
  event.u.ctrl.minimum = control.minimum;
  event.u.ctrl.maximum = control.maximum;
  event.u.ctrl.step = control.step;
  event.u.ctrl.default_value = control.defaultValue;
  event.sequence = to.eventSequence++;
  clock_gettime(CLOCK_MONOTONIC, &event.timestamp);
  to.events.push_back(event);
}

void FaceDevice::ControlChanged(int from, const FaceControl& control) {
  for (auto& [id, connection] : connections_) {
    const auto subscribed = connection.subscriptions.find(control.id);
    if (subscribed == connection.subscriptions.end()) continue;
    if (id == from && (subscribed->second & V4L2_EVENT_SUB_FL_ALLOW_FEEDBACK) == 0) continue;
    QueueControlEvent(id, connection, control);
  }
}

int FaceDevice::Subscribe(int connection, const v4l2_event_subscription* in) {
  if (in->type != V4L2_EVENT_CTRL) return -EINVAL;
  const FaceControl* control = FindFaceControl(in->id);
  if (control == nullptr) return -EINVAL;
  Connection& to = connections_[connection];
  const bool already = to.subscriptions.count(in->id) != 0;
  to.subscriptions[in->id] = in->flags;
  if (!already && (in->flags & V4L2_EVENT_SUB_FL_SEND_INITIAL) != 0 && !IsClass(*control)) {
    QueueControlEvent(connection, to, *control);
  }
  return 0;
}

int FaceDevice::Unsubscribe(int connection, const v4l2_event_subscription* in) {
  Connection& from = connections_[connection];
  const bool hadEvents = !from.events.empty();
  if (in->type == V4L2_EVENT_ALL) {
    from.subscriptions.clear();
    from.events.clear();
  } else if (in->type == V4L2_EVENT_CTRL) {
    from.subscriptions.erase(in->id);
    std::erase_if(from.events, [in](const v4l2_event& event) { return event.id == in->id; });
  } else {
    return -EINVAL;
  }
  if (hadEvents && from.events.empty()) eventDrain_ = true;
  return 0;
}

int FaceDevice::DequeueEvent(int connection, v4l2_event* out) {
  Connection& from = connections_[connection];
  if (from.events.empty()) return -ENOENT;
  *out = from.events.front();
  from.events.pop_front();
  if (from.events.empty()) eventDrain_ = true;
  out->pending = static_cast<std::uint32_t>(from.events.size());
  return 0;
}

}  // namespace zarncap
