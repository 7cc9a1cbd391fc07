#include "assets.h"

namespace zumeld_serve {

const EmbeddedAsset* FindAsset(std::string_view url) {
    for (const EmbeddedAsset* a = kEmbeddedAssets; a->url != nullptr; ++a)
        if (url == a->url) return a;
    return nullptr;
}

const char* AssetType(std::string_view url) {
    const auto ends = [&](std::string_view ext) {
        return url.size() >= ext.size() && url.substr(url.size() - ext.size()) == ext;
    };
    if (ends(".html")) return "text/html; charset=utf-8";
    if (ends(".js")) return "text/javascript; charset=utf-8";
    if (ends(".css")) return "text/css; charset=utf-8";
    if (ends(".png")) return "image/png";
    if (ends(".svg")) return "image/svg+xml";
    return "application/octet-stream";
}

}  // namespace zumeld_serve
