// The test-facing controls of the simulated OpenVR runtime (libopenvr_api.so
// built from SimVR.cpp). Tests resolve them with dlsym from the loaded library.
#pragma once

#include <cstdint>

extern "C" {
// Back to a fresh headset: identity valid pose, empty records, system offered.
typedef void (*simvr_reset_fn)();
// Row-major 3 x 4 device-to-tracking transform of the headset.
typedef void (*simvr_set_head_pose_fn)(const float *rowMajor3x4);
typedef void (*simvr_set_pose_valid_fn)(int valid);
// Whether "IVRSystem_019" is offered (a runtime of another version otherwise).
typedef void (*simvr_set_offer_system_fn)(int offered);
typedef int (*simvr_submit_count_fn)();
// Eye, GL texture name, texture type and colour space of submission index.
typedef int (*simvr_get_submit_fn)(int index, int *eye, uint32_t *texture, int *type, int *colorSpace,
                                   int *hadBounds, int *flags);
// Every runtime call in order: 'I' init, 'S' shutdown, 'L'/'R' submit of an
// eye, 'W' WaitGetPoses, 'P' projection query, 'E' eye-to-head query.
typedef int (*simvr_event_count_fn)();
typedef char (*simvr_event_fn)(int index);
typedef int (*simvr_is_initialised_fn)();
}
