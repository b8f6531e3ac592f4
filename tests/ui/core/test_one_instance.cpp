// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// What one start hands another over the socket, where the socket is, and
// which text a selection lookup takes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "book_fixture.h"
#include "one_instance.h"
#include "test_helpers.h"

namespace {

using ql::RequestState;

TEST(InstanceRequest, RoundTripsAndRefusesWhatIsOutOfBounds) {
  const ql::InstanceRequest cases[] = {
      {},
      {{"/a/b.ql"}, std::nullopt, false},
      {{"/a/one.ql", "/a/tw\no\\.ql", "/a/\r.ql"}, "caf\xc3\xa9 au lait", true},
      {{}, "", false},  // an empty word is still a lookup
      {{}, "back\\slash\nline", true},
  };
  for (const ql::InstanceRequest& request : cases) {
    const std::string bytes = ql::EncodeRequest(request);
    SCOPED_TRACE(bytes);
    const ql::DecodedRequest decoded = ql::DecodeRequest(bytes);
    EXPECT_EQ(decoded.state, RequestState::kComplete);
    EXPECT_TRUE(decoded.request == request);
    // Every part of it is not yet a request, and never a bad one.
    for (size_t cut = 0; cut < bytes.size(); ++cut)
      ASSERT_EQ(ql::DecodeRequest(bytes.substr(0, cut)).state, RequestState::kIncomplete) << cut;
  }
  ql::InstanceRequest tooMany;
  tooMany.books.assign(ql::kMaxRequestBooks + 1, "/a.ql");
  EXPECT_EQ(ql::EncodeRequest(tooMany), "");
  EXPECT_EQ(ql::EncodeRequest({{}, std::string(ql::kMaxRequestField + 1, 'w'), false}), "");
  EXPECT_NE(ql::EncodeRequest({{}, std::string(ql::kMaxRequestField, 'w'), false}), "");
  // What the running one would refuse is never sent: a NUL byte, or more
  // bytes than it reads.
  EXPECT_EQ(ql::EncodeRequest({{std::string("/a\0b.ql", 7)}, std::nullopt, false}), "");
  ql::InstanceRequest longest;
  longest.books.assign(ql::kMaxRequestBooks, "/" + std::string(ql::kMaxRequestField - 1, '\\'));
  EXPECT_LE(ql::EncodeRequest(longest).size(), ql::kMaxRequestBytes);
}

TEST(InstanceRequest, HostileBytesAreRefused) {
  const std::string head = "quillary request 1\n";
  std::string manyBooks = head;
  for (size_t i = 0; i <= ql::kMaxRequestBooks; ++i) manyBooks += "book /b.ql\n";
  struct Case {
    const char* name;
    std::string bytes;
    RequestState state;
  };
  const Case cases[] = {
      {"another protocol", "quillary request 2\nend\n", RequestState::kBad},
      {"no header", "end\n", RequestState::kBad},
      {"relative book", head + "book b.ql\nend\n", RequestState::kBad},
      {"empty book", head + "book \nend\n", RequestState::kBad},
      {"bad escape", head + "lookup a\\tb\nend\n", RequestState::kBad},
      {"lone backslash", head + "lookup a\\\nend\n", RequestState::kBad},
      {"nul byte", head + std::string("lookup a\0b\nend\n", 15), RequestState::kBad},
      {"too many books", manyBooks + "end\n", RequestState::kBad},
      {"field too long", head + "lookup " + std::string(ql::kMaxRequestField + 1, 'w') + "\nend\n",
       RequestState::kBad},
      {"endless line", head + std::string(3 * ql::kMaxRequestField, 'w'), RequestState::kBad},
      {"endless lines", head + std::string(ql::kMaxRequestBytes, '\n'), RequestState::kBad},
      {"unknown kinds passed over", head + "colour blue\nselection\nend\n",
       RequestState::kComplete},
      {"no end yet", head + "selection\n", RequestState::kIncomplete},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ql::DecodedRequest decoded = ql::DecodeRequest(c.bytes);
    EXPECT_EQ(decoded.state, c.state);
    if (c.state == RequestState::kBad) {
      EXPECT_TRUE(decoded.request == ql::InstanceRequest{});
    }
  }
}

TEST(InstanceSocket, RuntimeDirectoryElsePrivateOneOfTheUsers) {
  qltest::TempDir dir;
  const std::string runtime = dir.File("run");
  const std::string tmp = dir.File("tmp");
  const std::string open = dir.File("open");
  ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(tmp.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(open.c_str(), 0777), 0);
  const std::string mine = "/quillary-" + std::to_string(::geteuid());
  ASSERT_EQ(::mkdir((open + mine).c_str(), 0700), 0);
  ASSERT_EQ(::chmod((open + mine).c_str(), 0755), 0);
  const std::string longDir = dir.File(std::string(120, 'l'));
  ASSERT_EQ(::mkdir(longDir.c_str(), 0700), 0);
  struct Case {
    const char* name;
    const char* runtime;
    const char* tmpdir;
    std::string path;
  };
  const Case cases[] = {
      {"runtime directory", runtime.c_str(), tmp.c_str(), runtime + "/quillary.socket"},
      {"none: private folder in TMPDIR", nullptr, tmp.c_str(), tmp + mine + "/instance.socket"},
      {"missing runtime directory", "/nonexistent/run", tmp.c_str(),
       tmp + mine + "/instance.socket"},
      {"too long for a socket", longDir.c_str(), tmp.c_str(), tmp + mine + "/instance.socket"},
      {"folder open to others", nullptr, open.c_str(), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qltest::ScopedEnv run("XDG_RUNTIME_DIR", c.runtime);
    qltest::ScopedEnv tmpdir("TMPDIR", c.tmpdir);
    EXPECT_EQ(ql::InstanceSocketPath(), c.path);
  }
  struct stat st {};
  ASSERT_EQ(::stat((tmp + mine).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

class FakeSelection final : public ql::SelectionSource {
 public:
  FakeSelection(std::optional<std::string> primary, std::string clipboard)
      : iPrimary(std::move(primary)), iClipboard(std::move(clipboard)) {}
  std::optional<std::string> PrimarySelection() const override { return iPrimary; }
  std::string Clipboard() const override { return iClipboard; }

 private:
  std::optional<std::string> iPrimary;
  std::string iClipboard;
};

TEST(SelectionLookup, PrimarySelectionWhereThereIsOneElseTheClipboard) {
  const std::string e = "\xc3\xa9";  // é: two bytes
  struct Case {
    const char* name;
    std::optional<std::string> primary;
    std::string clipboard;
    std::string text;
  };
  const Case cases[] = {
      {"primary selection", "apple", "pear", "apple"},
      {"nothing selected: nothing, not an old clipboard", "", "pear", ""},
      {"no primary selection: the clipboard", std::nullopt, "pear", "pear"},
      {"neither", std::nullopt, "", ""},
      {"first line, spaces around it gone", " \tbig cat \r\nsecond", "x", "big cat"},
      {"a line of spaces", std::nullopt, "   \n word", ""},
      {"cut on a character", std::string(ql::kMaxLookupText - 1, 'a') + e + "z", "",
       std::string(ql::kMaxLookupText - 1, 'a')},
      {"cut, spaces before the cut gone", std::string(ql::kMaxLookupText - 2, 'a') + "   b", "",
       std::string(ql::kMaxLookupText - 2, 'a')},
      {"just fits", std::string(ql::kMaxLookupText - 2, 'a') + e, "",
       std::string(ql::kMaxLookupText - 2, 'a') + e},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ql::TextToLookUp(FakeSelection(c.primary, c.clipboard)), c.text);
  }
}

}  // namespace
