// The device side of the stand-in: the device enumerator (the class the
// stand-in is registered for), its collections, and the endpoint devices
// with their property stores, all answering from the machine-wide table.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

namespace zu::simaudio {

// A new device enumerator (one reference, the caller's).
IMMDeviceEnumerator* NewDeviceEnumerator();

}  // namespace zu::simaudio
