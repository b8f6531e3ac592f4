// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook serve run as a program: its usage errors, and a run that prints
// its address, answers over it and ends with status 0 at SIGTERM.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "book_fixture.h"
#include "qlbook_runner.h"

namespace {

TEST(CliServe, RefusesAnAddressItCannotListenOn) {
  struct Case {
    std::string listen;
    std::string errPart;
  };
  const Case cases[] = {
      {"localhost:8337", "--listen must be ADDRESS:PORT"},
      {"127.0.0.1:65536", "--listen must be ADDRESS:PORT"},
      {"127.0.0.1", "--listen must be ADDRESS:PORT"},
  };
  for (const Case& c : cases) {
    const auto r = qltest::RunQlbook({"serve", "--listen", c.listen});
    EXPECT_EQ(r.status, 2) << c.listen;
    EXPECT_NE(r.err.find("qlbook: " + c.errPart), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST(CliServe, PrintsItsAddressServesAndStopsAtSigterm) {
  qltest::TempDir dir;
  qltest::WriteFileBytes(dir.File("b.ql"), qltest::BuildBookBytes({{"pear", "a fruit"}}));
  const std::string q = qltest::ShellQuote(dir.Path());
  const std::string script =
      "cd " + q + " && export XDG_CACHE_HOME=" + q + "/cache XDG_CONFIG_HOME=" + q + "/cfg; " +
      qltest::ShellQuote(qltest::QlbookPath()) +
      " serve b.ql --listen 127.0.0.1:0 >out 2>err & pid=$!; "
      "for i in $(seq 200); do [ -s out ] && break; sleep 0.05; done; "
      "url=$(cat out); port=${url##*:}; port=${port%/}; "
      "exec 3<>/dev/tcp/127.0.0.1/$port; "
      "printf 'GET /api/lookup?q=PEAR HTTP/1.1\\r\\nHost: x\\r\\nConnection: close\\r\\n\\r\\n' "
      ">&3; "
      "timeout 20 cat <&3; kill -TERM $pid; wait $pid; s=$?; echo; echo \"exit=$s\"; cat out err";
  std::string output;
  if (FILE* shell = popen(("bash -c " + qltest::ShellQuote(script)).c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, shell)) > 0;) output.append(buffer, n);
    pclose(shell);
  }
  EXPECT_TRUE(output.starts_with("HTTP/1.1 200 OK\r\n")) << output;
  EXPECT_NE(output.find("\"title\":\"b.ql\",\"index\":0,\"subject\":\"pear\""), std::string::npos)
      << output;
  EXPECT_TRUE(std::regex_search(output, std::regex("\nexit=0\nhttp://127\\.0\\.0\\.1:[0-9]+/\n$")))
      << output;
}

}  // namespace
