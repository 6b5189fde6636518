// Run-time connection to the OpenVR client library (libopenvr_api.so): opens
// it from the plug-in's own directory or else the way the dynamic linker finds
// a linked library, and resolves its C entry points into function pointers of
// our own. Widget thread in practice; loading
// is guarded by a mutex. The library stays loaded for the life of the process.
#pragma once

#include "render/OpenVRApi.h"

namespace openvr {

// Opens the library and resolves the entry points on first success; false
// when the library or its required entry points are missing.
bool load();

// As the SDK's inline VR_Init: initialises the runtime and returns the
// "IVRSystem_019" interface, or null with error set. A runtime without that
// interface is shut down again (Init_InterfaceNotFound). A missing library
// reports Init_InstallationNotFound.
vr::IVRSystem *initSystem(vr::EVRInitError *error, vr::EVRApplicationType type);

// As the SDK's VR_Shutdown; every interface pointer becomes invalid.
void shutdown();

// The "IVRCompositor_022" interface of the current session; null when the
// runtime has none or is not initialised.
vr::IVRCompositor *compositor();

} // namespace openvr
