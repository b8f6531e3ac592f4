// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The library server's HTTP: libmicrohttpd on a pool of threads of its own,
// each handing its requests to the Api and adding the headers every response
// carries. Requests are bounded (URL length, header memory, no bodies,
// connections, time a connection may stay); a bad one gets 400 and the
// server goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct MHD_Daemon;

namespace ql::serve {

class Api;

inline constexpr std::string_view kDefaultListen = "127.0.0.1:8337";

// The Content-Security-Policy every response carries.
inline constexpr const char* kSecurityPolicy =
    "default-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'";

struct ServerOptions {
  std::string address = "127.0.0.1";  // IPv4 or IPv6, numeric
  uint16_t port = 8337;               // 0: a free one
  unsigned connectionLimit = 256;
  unsigned timeoutSeconds = 10;
  size_t urlLimit = 8192;  // the path and query, in bytes
  unsigned threads = 0;    // answering at once; 0: ServeThreads()
};

// The threads a server answers on by default: one a core, at least 2, at
// most 64.
unsigned ServeThreads();

// "ADDRESS:PORT", "[IPV6]:PORT": false for anything else (a name, a port
// out of range).
bool ParseListen(std::string_view text, std::string& address, uint16_t& port);

class HttpServer {
 public:
  HttpServer(Api& api, ServerOptions options);
  ~HttpServer();  // stops
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Starts listening; false with the reason.
  bool Start(std::string& reason);
  // The port listened on (the one chosen, for port 0).
  uint16_t Port() const;
  void Stop();

  // Used by the request callback.
  Api& ServedApi() { return iApi; }
  const ServerOptions& Options() const { return iOptions; }

 private:
  Api& iApi;
  ServerOptions iOptions;
  MHD_Daemon* iDaemon = nullptr;
};

}  // namespace ql::serve
