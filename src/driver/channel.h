// Channel open and close: the first open sets the device up (settings,
// language, port, device), every open makes a DriverInstance whose address is
// the driver id of later messages, and the last close tears the device down.
// This module owns the list of live instances.
#pragma once

#include <memory>

#include "platform/types.h"

struct NUBODevice;

struct DriverInstance {
  DWORD fccType;      // FOURCC_VCAP
  DWORD channelKind;  // open flags & 0x0F: VIDEO_EXTERNALIN, VIDEO_EXTERNALOUT, VIDEO_IN, VIDEO_OUT
  DWORD openFlags;    // the open parameters' dwFlags, unchanged
  // The driver session (DRV_ENABLE count) the channel was opened in. A channel
  // from an earlier session no longer counts towards the device's channels.
  DWORD session;
};

// A live instance, kept alive while a message to it runs even when another
// thread closes it meanwhile.
using InstanceRef = std::shared_ptr<DriverInstance>;

// DRV_OPEN with vcap open parameters: the instance, or nullptr with dwError set.
DriverInstance* OpenChannel(const char* openString, VIDEO_OPEN_PARMS* openParms);
// Undoes one open; the last one saves "LPT_Port" and tears the device down. Always 0.
LRESULT CloseChannel(DriverInstance* instance);

// The instance behind a driver id, or nullptr when the id is not a live instance
// (0, 1, an id already closed, or one this driver never gave out).
InstanceRef FindInstance(DWORD_PTR driverId);

// The device the open channels share; nullptr before the first successful
// open and after the last close.
NUBODevice* ChannelDevice();

// 1 when a camera answers on port n (1..3); a failed probe releases the port.
BOOL ProbePort(DWORD port);
// Tries ports 1, 2, 3; 1 and *port set for the first with a camera, else 0.
BOOL ScanPorts(DWORD* port);

// DRV_ENABLE: the device set up before goes (saving its settings), the
// counters start again, and channels still open belong to the old session:
// their close touches neither the counters nor a device opened after it.
void StartDriverSession();
// DRV_DISABLE: the device's stream ends and its capture device is closed.
void DisableDevice();
// DRV_FREE: every channel still open is closed with the device, as the last
// close would, and the kernel port device goes.
void CloseAllChannels();
// Closes the kernel port device unless a channel or a device still uses it.
void ClosePortDeviceIfUnused();
