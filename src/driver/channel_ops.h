// The operations of the layers below that channel open and close and the
// driver messages use, reached through one table so the driver layer can be
// tested with doubles. A null entry means "failed" or "nothing to do": with an
// empty table no port device opens and no camera is ever found.
#pragma once

#include "platform/types.h"

struct NUBODevice;

struct ChannelOps {
  // ---- kernel port device and parallel port
  HANDLE (*openPortDevice)(int index);    // INVALID_HANDLE_VALUE when absent
  void (*closePortDevice)(HANDLE device);  // skips INVALID_HANDLE_VALUE
  BOOL (*selectPort)(int lptNumber);       // TRUE when port 1..3 became current
  int (*openPort)();                       // 0 = success, else an error code
  DWORD (*releasePort)();                  // the driver then sets its open counter to 0

  // ---- the device (capture layer)
  // nullptr after a failure, when the port has been released
  NUBODevice* (*openNUBODevice)(DWORD port, DWORD deviceArgument, const char* iniPath, WORD* sensorPeriod,
                                WORD* debugFlags);
  BOOL (*selectNUBODevice)(NUBODevice* device);
  BOOL (*setStreamMode)(DWORD mode);
  void (*closeNUBODevice)(NUBODevice* device, const char* iniPath);  // saves when iniPath is given; releases the port
  void (*restartFrameTime)();  // frame times count from now

  // ---- the stream a channel owns: ended, every queued buffer handed back
  void (*closeStreamOf)(const void* owner);

  // ---- forgetting and closing the current objects (DRV_ENABLE / DRV_DISABLE)
  void (*forgetNUBODevice)();     // capture layer: no current device, nothing released
  BOOL (*resetCaptureDevices)();  // camera layer: no current capture device, nothing released
  void (*disableDevice)();        // capture layer: ends the stream, frees the capture device
  void (*forgetColSpace)();       // colour layer: no current converter, nothing released

  // ---- the settings dialogs' slider ranges and working values, reset at each device set-up
  void (*resetDialogControls)();
};

// The table the driver layer calls through.
ChannelOps& ChannelOpsTable();
// The entries a freshly loaded driver uses (bound to the real layers).
ChannelOps DefaultChannelOps();
