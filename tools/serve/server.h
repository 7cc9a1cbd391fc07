// zumeld serve: an HTTP server that draws a map's tiles on demand and serves the page to
// pan, zoom, restyle and edit it (cpp-httplib). Every answer that fails is one status and
// one line of text. The page and its assets are embedded; nothing is read from disk to
// answer a request, and the only file written is MAP itself (POST /api/save, through a
// temporary file renamed into place). Thread-safe: Stop may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "zumeld/zumeld.h"

namespace zumeld_serve {

struct ServeOptions {
    std::string mapPath;  // the file shown (empty: the built-in sample map); saves go to it
    std::string bind = "127.0.0.1";
    int port = 0;  // 0: any free port
    bool readOnly = false;
    std::size_t cacheBytes = std::size_t{256} << 20;
    std::size_t maxUploadBytes = std::size_t{64} << 20;
    int workers = 0;  // tile threads; 0: one per core
    std::size_t historyStates = 50;
    std::uint64_t historyBytes = std::uint64_t{1} << 30;
};

class Server {
  public:
    // Serves map (copied; the copy shares its grid).
    Server(const ServeOptions& options, const Zumeld::CCtrlElvMap& map);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds the address and returns the port. Throws zumeld_formats::Error on failure.
    int Bind();
    // Serves until Stop; returns once the requests in flight have been answered.
    // Requires: Bind succeeded.
    void Run();
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zumeld_serve
