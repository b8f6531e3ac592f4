// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <thread>

#include "api.h"

namespace ql::serve {

namespace {

// What a request's line and headers may take of a connection's memory;
// beyond it the request is refused before it reaches the Api.
constexpr size_t kConnectionMemory = 32 * 1024;

struct Arguments {
  std::vector<std::pair<std::string, std::string>> args;
  size_t bytes = 0;
  bool tooMany = false;
};

MHD_Result TakeArgument(void* cls, MHD_ValueKind, const char* key, size_t keySize,
                        const char* value, size_t valueSize) {
  auto* a = static_cast<Arguments*>(cls);
  if (a->args.size() >= kArgumentLimit) {
    a->tooMany = true;
    return MHD_NO;
  }
  a->bytes += keySize + valueSize + 2;
  a->args.emplace_back(std::string(key ? key : "", key ? keySize : 0),
                       std::string(value ? value : "", value ? valueSize : 0));
  return MHD_YES;
}

MHD_Result Send(MHD_Connection* connection, const Response& r) {
  MHD_Response* response = MHD_create_response_from_buffer(
      r.body.size(), const_cast<char*>(r.body.data()), MHD_RESPMEM_MUST_COPY);
  if (!response) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, r.contentType.c_str());
  MHD_add_response_header(response, "Content-Security-Policy", kSecurityPolicy);
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
  if (r.status == MHD_HTTP_METHOD_NOT_ALLOWED)
    MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
  const MHD_Result queued =
      MHD_queue_response(connection, static_cast<unsigned>(r.status), response);
  MHD_destroy_response(response);
  return queued;
}

bool HasBody(MHD_Connection* connection) {
  const char* length =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if (length && std::strcmp(length, "0") != 0) return true;
  return MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                     MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr;
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char*, size_t* uploadSize, void** state) {
  auto* server = static_cast<HttpServer*>(cls);
  // Every request is answered at its first call: none has a body to wait for.
  if (*state) {
    *uploadSize = 0;
    return MHD_YES;
  }
  *state = server;
  const std::string_view methodName = method ? method : "";
  if (methodName != MHD_HTTP_METHOD_GET && methodName != MHD_HTTP_METHOD_HEAD)
    return Send(connection,
                ErrorResponse(MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD are served"));
  if (HasBody(connection) || *uploadSize > 0)
    return Send(connection, ErrorResponse(MHD_HTTP_BAD_REQUEST, "a request has no body here"));

  Request request;
  request.method = std::string(methodName);
  request.path = url ? url : "";
  Arguments arguments;
  MHD_get_connection_values_n(connection, MHD_GET_ARGUMENT_KIND, TakeArgument, &arguments);
  if (arguments.tooMany)
    return Send(connection, ErrorResponse(MHD_HTTP_BAD_REQUEST, "too many arguments"));
  if (request.path.size() + arguments.bytes > server->Options().urlLimit)
    return Send(connection, ErrorResponse(MHD_HTTP_URI_TOO_LONG, "the address is too long"));
  if (request.path.find('\0') != std::string::npos)
    return Send(connection, ErrorResponse(MHD_HTTP_BAD_REQUEST, "a bad address"));
  request.args = std::move(arguments.args);
  return Send(connection, server->ServedApi().Handle(request));
}

}  // namespace

bool ParseListen(std::string_view text, std::string& address, uint16_t& port) {
  std::string_view host, portText;
  if (text.starts_with('[')) {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':')
      return false;
    host = text.substr(1, close - 1);
    portText = text.substr(close + 2);
  } else {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    host = text.substr(0, colon);
    portText = text.substr(colon + 1);
  }
  if (host.empty() || host.size() > 64 || portText.empty() || portText.size() > 5) return false;
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
  if (ec != std::errc() || end != portText.data() + portText.size() || value > 65535) return false;
  const std::string h(host);
  in_addr v4{};
  in6_addr v6{};
  if (inet_pton(AF_INET, h.c_str(), &v4) != 1 && inet_pton(AF_INET6, h.c_str(), &v6) != 1)
    return false;
  address = h;
  port = static_cast<uint16_t>(value);
  return true;
}

unsigned ServeThreads() {
  return std::clamp(std::thread::hardware_concurrency(), 2u, 64u);
}

HttpServer::HttpServer(Api& api, ServerOptions options) : iApi(api), iOptions(std::move(options)) {}

HttpServer::~HttpServer() {
  Stop();
}

bool HttpServer::Start(std::string& reason) {
  if (iDaemon) return true;
  sockaddr_in v4{};
  sockaddr_in6 v6{};
  const sockaddr* where = nullptr;
  unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD;
  if (inet_pton(AF_INET, iOptions.address.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(iOptions.port);
    where = reinterpret_cast<const sockaddr*>(&v4);
  } else if (inet_pton(AF_INET6, iOptions.address.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(iOptions.port);
    where = reinterpret_cast<const sockaddr*>(&v6);
    flags |= MHD_USE_IPv6;
  } else {
    reason = "not an address: " + iOptions.address;
    return false;
  }
  const unsigned threads = iOptions.threads > 0 ? iOptions.threads : ServeThreads();
  iDaemon = MHD_start_daemon(flags, iOptions.port, nullptr, nullptr, &OnRequest, this,
                             MHD_OPTION_SOCK_ADDR, where, MHD_OPTION_THREAD_POOL_SIZE, threads,
                             MHD_OPTION_CONNECTION_LIMIT, iOptions.connectionLimit,
                             MHD_OPTION_CONNECTION_TIMEOUT, iOptions.timeoutSeconds,
                             MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_END);
  if (!iDaemon) {
    reason = "cannot listen on " + iOptions.address + ":" + std::to_string(iOptions.port) + ": " +
             std::strerror(errno);
    return false;
  }
  return true;
}

uint16_t HttpServer::Port() const {
  if (!iDaemon) return 0;
  const MHD_DaemonInfo* info = MHD_get_daemon_info(iDaemon, MHD_DAEMON_INFO_BIND_PORT);
  return info ? info->port : 0;
}

void HttpServer::Stop() {
  if (iDaemon) MHD_stop_daemon(iDaemon);
  iDaemon = nullptr;
}

}  // namespace ql::serve
