#include "driver/channel_ops.h"

namespace {
struct ChannelOpsState {
  ChannelOps table = DefaultChannelOps();
};
ChannelOpsState& State() {
  static ChannelOpsState state;
  return state;
}
}  // namespace

ChannelOps& ChannelOpsTable() { return State().table; }

void ResetChannelOps() { State().table = DefaultChannelOps(); }
