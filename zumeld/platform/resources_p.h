// The bitmap resources embedded into the library at build time (resources/<id>.bmp).
// Internal to the platform layer: LoadBitmapA and AfxFindResourceHandle look them up.
#pragma once

#include <cstddef>

namespace Zumeld::Platform {

struct EmbeddedResource {
    int id;                      // integer resource id (2000, 2001, ...)
    const unsigned char* bytes;  // the whole .bmp file, BITMAPFILEHEADER first
    std::size_t size;            // its length in bytes
};

// Terminated by an entry with bytes == nullptr.
extern const EmbeddedResource kEmbeddedResources[];

}  // namespace Zumeld::Platform
