#include "driver/channel_ops.h"

#include "core/driver_context.h"

namespace {
struct ChannelOpsState {
  static constexpr int kResetRank = 80;  // by layer, highest first (see core/README.md)
  void Reset() { table = DefaultChannelOps(); }
  ChannelOps table = DefaultChannelOps();
};
ChannelOpsState& State() { return Context().Module<ChannelOpsState>(); }
}  // namespace

ChannelOps& ChannelOpsTable() { return State().table; }
