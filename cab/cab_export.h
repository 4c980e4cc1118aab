// Marks the functions the shared library exports. The shared library is
// built with hidden visibility (QMORA_CAB_BUILDING_SHARED), so only
// functions declared with CAB_API are visible to its clients; static builds
// and clients see an empty marker.
#pragma once

#if defined(QMORA_CAB_BUILDING_SHARED) && defined(__GNUC__)
#define CAB_API __attribute__((visibility("default")))
#else
#define CAB_API
#endif
