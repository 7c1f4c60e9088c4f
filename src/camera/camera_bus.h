// The camera's two-wire serial bus, driven one step at a time with 'S'
// commands: start, stop, write a byte (the status block reports the
// acknowledge) and read a byte. The sensor and the EEPROM sit on this bus.
// Each step takes the capture device whose bus it drives and fails without one.
#pragma once

#include "platform/types.h"

struct CaptureDevice;

// Bus addresses (write; the read address has bit 0 set).
constexpr BYTE kSensorBusAddress = 0x20;
constexpr BYTE kEepromBusAddress = 0xA0;

// Acknowledge flag of BusReadByte: more bytes follow, or this is the last.
constexpr BYTE BUS_ACK_MORE = 1;
constexpr BYTE BUS_ACK_LAST = 0;

BOOL BusStart(CaptureDevice* device);
BOOL BusStop(CaptureDevice* device);
// 0 when a transfer failed, else status word s0: nonzero when the device acknowledged.
UINT BusWriteByte(CaptureDevice* device, BYTE value);
// Reads one bus byte into *value; acknowledge is BUS_ACK_MORE or BUS_ACK_LAST.
BOOL BusReadByte(CaptureDevice* device, BYTE* value, BYTE acknowledge);
