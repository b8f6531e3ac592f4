// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook serve: the library over HTTP, for a browser. The books named (or
// the library's books that are on) are served read-only until the program
// is stopped (SIGINT or SIGTERM); the address it listens on is printed on
// stdout once it does.
#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "api.h"
#include "cli_util.h"
#include "http_server.h"
#include "library.h"
#include "std_streams.h"

namespace qlcli {

namespace {

struct ServeArgs {
  std::vector<std::string> books;
  std::string listen{ql::serve::kDefaultListen};
};

void RunServe(const ServeArgs& args) {
  ql::serve::ServerOptions options;
  if (!ql::serve::ParseListen(args.listen, options.address, options.port)) {
    UsageError("--listen must be ADDRESS:PORT, such as 127.0.0.1:8337 or [::1]:8337");
    return;
  }
  std::vector<std::string> paths = BooksNamed(args.books);
  for (std::string& p : paths) p = ql::NormalisePath(p);
  if (paths.empty())
    std::fputs("qlbook: no books: name them, or add them to the library\n", stderr);

  const ql::Library library = ql::Library::Load(ql::LibraryFilePath());
  std::vector<ql::serve::Group> groups;
  for (const std::string& name : library.GroupNames())
    if (name != ql::kAllBooks) groups.push_back({name, library.BooksOf(name)});

  // The stop signals are taken by this thread alone: every thread made from
  // here on (the shelf's workers, the server's) leaves them blocked.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  options.threads = ql::serve::ServeThreads();
  ql::serve::Api api(std::move(paths), groups, options.threads);
  ql::serve::HttpServer server(api, options);
  std::string reason;
  if (!server.Start(reason)) {
    Fail(reason);
    return;
  }
  const bool v6 = options.address.find(':') != std::string::npos;
  const std::string url = "http://" + (v6 ? "[" + options.address + "]" : options.address) + ":" +
                          std::to_string(server.Port()) + "/\n";
  if (!WriteOut(url) || !FlushOut()) {
    FailOutput();
    return;
  }
  int signal = 0;
  sigwait(&stop, &signal);
  server.Stop();
  ExitStatus() = kExitOk;
}

}  // namespace

void AddServeCommand(CLI::App& app) {
  auto args = std::make_shared<ServeArgs>();
  CLI::App* serve = app.add_subcommand(
      "serve",
      "Serve books to a web browser: the books and folders (their .ql files) named, or the "
      "library's books when none is named. Open the address printed on stdout for the lookup "
      "page; /api/books, /api/suggest, /api/lookup, /api/record and /api/fts answer in JSON. "
      "Read-only; runs until stopped (Ctrl+C, SIGTERM)");
  serve->add_option("BOOK", args->books, "Books (.ql) and folders of books");
  serve
      ->add_option("--listen", args->listen,
                   "Listen on ADDRESS:PORT (default 127.0.0.1:8337; port 0: a free one)")
      ->type_name("ADDRESS:PORT");
  serve->callback([args] { RunServe(*args); });
}

}  // namespace qlcli
