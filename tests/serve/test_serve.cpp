// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The library server over a socket: two books made here, the server on a
// free port of 127.0.0.1, and raw HTTP requests, good and hostile, each
// answered as it should be while the server goes on answering.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "api.h"
#include "book_fixture.h"
#include "http_server.h"

namespace {

using qltest::Entry;

int Connect(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval wait{15, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  if (connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends raw and reads the whole answer (the server closes after it).
std::string Exchange(uint16_t port, const std::string& raw) {
  const int fd = Connect(port);
  if (fd < 0) return {};
  for (size_t sent = 0; sent < raw.size();) {
    const ssize_t n = send(fd, raw.data() + sent, raw.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may refuse before it has read it all
    sent += static_cast<size_t>(n);
  }
  std::string answer;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
  close(fd);
  return answer;
}

int StatusOf(const std::string& answer) {
  return answer.starts_with("HTTP/1.1 ") && answer.size() >= 12 ? std::atoi(answer.c_str() + 9)
                                                                : -1;
}

std::string BodyOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

std::string Get(std::string_view target, std::string_view method = "GET") {
  return std::string(method) + " " + std::string(target) +
         " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
}

class ServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CACHE_HOME", iDir.File("cache").c_str(), 1);
    const std::string a = iDir.File("a.ql"), b = iDir.File("b.ql");
    qltest::WriteFileBytes(a, qltest::BuildBookBytes({
                                  {"apple",
                                   "A red \t\x01"
                                   "fruit\t\x02. See \t\x11pear tree>it\t\x12."},
                                  {"apricot", "A small orange fruit."},
                                  {"pear tree", "It bears pears."},
                              }));
    qltest::WriteFileBytes(b, qltest::BuildBookBytes({
                                  {"Apple", "A <script>alert(1)</script> firm."},
                                  {"banana", "Yellow fruit."},
                              }));
    iApi = std::make_unique<ql::serve::Api>(std::vector<std::string>{a, b},
                                            std::vector<ql::serve::Group>{{"trees", {a}}});
    ql::serve::ServerOptions options;
    options.port = 0;
    options.timeoutSeconds = 1;
    iServer = std::make_unique<ql::serve::HttpServer>(*iApi, options);
    std::string reason;
    ASSERT_TRUE(iServer->Start(reason)) << reason;
    iPort = iServer->Port();
    ASSERT_NE(iPort, 0);
  }
  void TearDown() override { unsetenv("XDG_CACHE_HOME"); }

  qltest::TempDir iDir;
  std::unique_ptr<ql::serve::Api> iApi;
  std::unique_ptr<ql::serve::HttpServer> iServer;
  uint16_t iPort = 0;
};

TEST_F(ServeTest, AnswersEachRequestAndGoesOnServing) {
  const std::string longQuery(300, 'x');
  std::string manyArgs = "/api/books?";
  for (int i = 0; i < 20; ++i) manyArgs += "a" + std::to_string(i) + "=1&";
  std::string manyHeaders = "GET / HTTP/1.1\r\nHost: localhost\r\n";
  for (int i = 0; i < 64; ++i)
    manyHeaders += "X-Pad" + std::to_string(i) + ": " + std::string(1000, 'p') + "\r\n";
  manyHeaders += "\r\n";
  struct Case {
    std::string name, raw;
    int status;  // 0: any refusal (400 to 499) by the HTTP layer itself
    std::string has, lacks;
  };
  const Case cases[] = {
      {"page", Get("/"), 200, "<script src=\"/app.js\"", "http"},
      {"script", Get("/app.js"), 200, "history.pushState", ""},
      {"style", Get("/app.css"), 200, "prefers-color-scheme: dark", ""},
      {"head has no body", Get("/", "HEAD"), 200, "", "<"},
      {"books", Get("/api/books"), 200,
       "[{\"id\":0,\"title\":\"a.ql\",\"subjects\":3,\"indexed\":false},{\"id\":1", "/"},
      {"suggest", Get("/api/suggest?q=ap"), 200, "[\"apple\",\"apricot\",\"Apple\"]", ""},
      {"lookup in every book", Get("/api/lookup?q=apple"), 200, "\"book\":1,\"title\":\"b.ql\"",
       ""},
      {"a link leads to the page", Get("/api/lookup?q=apple"), 200,
       "\\u003ca href=\\\"/?q=pear%20tree\\\"\\u003eit", "quill::"},
      {"markup is escaped", Get("/api/lookup?q=APPLE&book=1"), 200, "\\u003cscript", "<script"},
      {"group narrows", Get("/api/lookup?q=apple&group=trees"), 200, "\"book\":0", "\"book\":1"},
      {"record", Get("/api/record?book=0&index=2"), 200, "\"subject\":\"pear tree\"", ""},
      {"fts", Get("/api/fts?q=fruit"), 200, "\"marks\":[[", ""},
      {"fts of nothing to find", Get("/api/fts?q=-fruit"), 400, "{\"error\":", ""},
      {"index past the end", Get("/api/record?book=0&index=3"), 400, "no such index", ""},
      {"negative index", Get("/api/record?book=0&index=-1"), 400, "no such index", ""},
      {"huge index", Get("/api/record?book=0&index=99999999999999999999"), 400, "no such index",
       ""},
      {"record without book", Get("/api/record?index=0"), 400, "book is missing", ""},
      {"unknown id", Get("/api/record?book=7&index=0"), 400, "no such book", ""},
      {"a path is no id", Get("/api/books?book=a.ql"), 400, "no such book", ""},
      {"unknown group", Get("/api/lookup?q=x&group=nope"), 400, "no such group", ""},
      {"book and group", Get("/api/books?book=0&group=trees"), 400, "not both", ""},
      {"missing q", Get("/api/lookup"), 400, "q is missing", ""},
      {"empty q", Get("/api/suggest?q="), 400, "q is missing", ""},
      {"long q", Get("/api/lookup?q=" + longQuery), 400, "longer than", ""},
      {"NUL in q", Get("/api/lookup?q=a%00b"), 400, "q is no text", ""},
      {"no UTF-8 in q", Get("/api/suggest?q=%ff%fe"), 400, "q is no text", ""},
      {"hostile q", Get("/api/lookup?q=%27%22%3Cscript%3E%25%5C"), 200, "[]", ""},
      {"many arguments", Get(manyArgs), 400, "too many arguments", ""},
      {"traversal", Get("/../etc/passwd"), 404, "no such page", "root:"},
      {"escaped traversal", Get("/%2e%2e/%2e%2e/etc/passwd"), 404, "no such page", "root:"},
      {"traversal past a file", Get("/app.js/../../../etc/passwd"), 404, "no such page", "root:"},
      {"a file's name", Get("/serve/api.cpp"), 404, "no such page", ""},
      {"POST", Get("/api/books", "POST"), 405, "only GET", ""},
      {"DELETE", Get("/", "DELETE"), 405, "only GET", ""},
      {"a body", "GET /api/books HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", 400,
       "no body", ""},
      {"a long URL", Get("/api/books?x=" + std::string(9000, 'u')), 414, "too long", ""},
      {"a huge URL", Get("/" + std::string(70000, 'u')), 0, "", ""},
      {"huge headers", manyHeaders, 0, "", ""},
      {"garbage", "\x01\x02\xff nonsense\r\n\r\n", 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string answer = Exchange(iPort, c.raw);
    const int status = StatusOf(answer);
    if (c.status == 0) {
      EXPECT_TRUE(answer.empty() || (status >= 400 && status < 500)) << answer.substr(0, 200);
    } else {
      EXPECT_EQ(status, c.status) << answer.substr(0, 300);
      EXPECT_NE(answer.find("\r\nContent-Security-Policy: " +
                            std::string(ql::serve::kSecurityPolicy) + "\r\n"),
                std::string::npos);
      EXPECT_NE(answer.find("\r\nX-Content-Type-Options: nosniff\r\n"), std::string::npos);
      const std::string body = BodyOf(answer);
      EXPECT_NE(body.find(c.has), std::string::npos)
          << body.substr(body.find("See") == std::string::npos ? 0 : body.find("See"), 200);
      if (!c.lacks.empty()) {
        EXPECT_EQ(body.find(c.lacks), std::string::npos) << body.substr(0, 300);
      }
    }
    EXPECT_EQ(StatusOf(Exchange(iPort, Get("/api/books"))), 200);
  }
}

TEST_F(ServeTest, ASilentConnectionIsDroppedAndHoldsUpNoOther) {
  const int idle = Connect(iPort);
  ASSERT_GE(idle, 0);
  ASSERT_EQ(send(idle, "GET / HT", 8, MSG_NOSIGNAL), 8);
  EXPECT_EQ(StatusOf(Exchange(iPort, Get("/api/books"))), 200);
  const auto start = std::chrono::steady_clock::now();
  pollfd p{idle, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1);
  char c;
  EXPECT_LE(recv(idle, &c, 1, 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  close(idle);
}

TEST_F(ServeTest, ConcurrentLookupsEachGetTheirOwnAnswer) {
  constexpr int kClients = 16, kRounds = 12;
  // word10 and on: the subjects in order, none the start of another.
  std::vector<Entry> entries;
  for (int i = 0; i < kClients; ++i)
    entries.push_back(
        {"word" + std::to_string(10 + i), "meaning " + std::to_string(10 + i) + " only."});
  const std::string path = iDir.File("many.ql");
  qltest::WriteFileBytes(path, qltest::BuildBookBytes(entries));
  ql::serve::Api api({path, iDir.File("a.ql")}, {}, 4);
  ql::serve::ServerOptions options;
  options.port = 0;
  options.threads = 4;
  ql::serve::HttpServer server(api, options);
  std::string reason;
  ASSERT_TRUE(server.Start(reason)) << reason;

  std::mutex mutex;
  std::vector<std::string> wrong;
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      const std::string word = "word" + std::to_string(10 + i);
      const std::string meaning = "meaning " + std::to_string(10 + i) + " only.";
      for (int round = 0; round < kRounds; ++round) {
        const std::string answer =
            Exchange(server.Port(), Get("/api/lookup?q=" + word + "&book=0"));
        const std::string body = BodyOf(answer);
        if (StatusOf(answer) != 200 ||
            body.find("\"subject\":\"" + word + "\"") == std::string::npos ||
            body.find(meaning) == std::string::npos || body.find("},{") != std::string::npos) {
          std::lock_guard lock(mutex);
          wrong.push_back(word + ": " + answer.substr(0, 200));
          return;
        }
      }
    });
  }
  for (std::thread& t : clients) t.join();
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, first " << wrong.front();
  EXPECT_GE(api.Shelves(), 1u);
  EXPECT_LE(api.Shelves(), 4u);
}

TEST(ServeListen, TakesOnlyNumericAddressesWithAPort) {
  struct Case {
    std::string text;
    bool ok;
    std::string address;
    uint16_t port;
  };
  const Case cases[] = {
      {"127.0.0.1:8337", true, "127.0.0.1", 8337},
      {"0.0.0.0:0", true, "0.0.0.0", 0},
      {"[::1]:80", true, "::1", 80},
      {"localhost:80", false, "", 0},
      {"127.0.0.1", false, "", 0},
      {"127.0.0.1:65536", false, "", 0},
      {"127.0.0.1:-1", false, "", 0},
      {"127.0.0.1:8o", false, "", 0},
      {"[::1]80", false, "", 0},
      {":80", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string address;
    uint16_t port = 1;
    EXPECT_EQ(ql::serve::ParseListen(c.text, address, port), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(address + ":" + std::to_string(port), c.address + ":" + std::to_string(c.port));
    }
  }
}

}  // namespace
