// The page's files (HTML, CSS, JavaScript modules, Leaflet), embedded into the binary at
// build time: the server never reads a file from disk to answer a request.
#pragma once

#include <cstddef>
#include <string_view>

namespace zumeld_serve {

struct EmbeddedAsset {
    const char* url;  // e.g. "/js/main.js"
    const unsigned char* data;
    std::size_t size;
};

// The table, ended by an entry whose url is null.
extern const EmbeddedAsset kEmbeddedAssets[];

// The asset served at url, or null. Only exact names match: nothing outside the table is
// ever reached.
const EmbeddedAsset* FindAsset(std::string_view url);
// The Content-Type for an asset's name, by its extension.
const char* AssetType(std::string_view url);

}  // namespace zumeld_serve
