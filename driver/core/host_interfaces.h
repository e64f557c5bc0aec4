// The runtime's host interfaces, fetched from the driver context once and kept in
// library-wide slots; a slot that is still empty is fetched again on use.
#pragma once

#include <openvr_driver.h>

namespace halvex::host {

// Remembers `context` (when not null) and fetches the six interfaces Init needs.
// Returns VRInitError_Init_InterfaceNotFound when one of them (other than
// IVRProperties) is missing.
vr::EVRInitError InitServerDriverContext(vr::IVRDriverContext* context);

vr::IVRDriverContext* DriverContext();
vr::IVRServerDriverHost* ServerDriverHost();
vr::IVRSettings* Settings();
vr::IVRProperties* Properties();
vr::IVRDriverLog* DriverLogInterface();
vr::IVRDriverManager* DriverManager();
vr::IVRResources* Resources();
vr::IVRIOBuffer* IOBuffer();

}  // namespace halvex::host
