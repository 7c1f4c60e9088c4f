// Binds the channel operations to the layers that implement them. Entries
// stay null until their layer is linked in here.
#include "driver/channel_ops.h"

ChannelOps DefaultChannelOps() {
  ChannelOps ops{};
  return ops;
}
