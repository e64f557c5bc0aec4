// The Lighthouse device's recording thread: drains its rings into CSV files.
#include "devices/steamvr_device.h"

void cHalvexSteamvrDevice::ThreadProc_RecordThread() {}
