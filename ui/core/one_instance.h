// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// One Quillary per user: a second start hands what it was asked to do to the
// one running, over a local socket, and ends. Here is what goes over the
// socket and where the socket is; the window does the talking.
//
// A request is lines: "quillary request 1", then "book PATH" for each book
// to open, "lookup WORD", "selection" (look the selected text up in
// QuickPeek) and "end". In PATH and WORD a backslash, line feed and
// carriage return are written \\, \n and \r. The running one answers "ok"
// or "bad", a line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

struct InstanceRequest {
  std::vector<std::string> books;  // absolute paths, in command-line order
  std::optional<std::string> lookup;
  bool lookupSelection = false;
  bool operator==(const InstanceRequest&) const = default;
};

// Bounds of what a request may hold; a bigger one is refused whole.
inline constexpr size_t kMaxRequestBytes = 256 * 1024;
inline constexpr size_t kMaxRequestBooks = 64;
inline constexpr size_t kMaxRequestField = 4096;
inline constexpr std::string_view kRequestTaken = "ok\n";
inline constexpr std::string_view kRequestRefused = "bad\n";

// The bytes of request; "" when it holds more than the bounds allow.
std::string EncodeRequest(const InstanceRequest& request);

enum class RequestState { kIncomplete, kComplete, kBad };
struct DecodedRequest {
  RequestState state = RequestState::kIncomplete;
  InstanceRequest request;  // when complete
};
// What the bytes received so far hold: a whole request, not yet one (more
// is to come), or one that never will be (a wrong first line, a field too
// long, too many books, a bad escape, more bytes than a request may have).
// Lines of kinds it does not know are passed over.
DecodedRequest DecodeRequest(std::string_view bytes);

// The socket's path: in $XDG_RUNTIME_DIR when that is a directory of the
// user's, else in a directory of the user's own under $TMPDIR (or /tmp),
// made private if missing. "" when neither can be trusted (another user's,
// open to others) or the path is too long for a socket: then every start
// runs on its own.
std::string InstanceSocketPath();

// What the user has selected, as a desktop gives it.
class SelectionSource {
 public:
  virtual ~SelectionSource() = default;
  // The primary selection (UTF-8), or nullopt where the desktop has none.
  virtual std::optional<std::string> PrimarySelection() const = 0;
  virtual std::string Clipboard() const = 0;
};
// The text to look up: the primary selection where the desktop has one,
// else the clipboard; its first line without the spaces around it, cut to
// kMaxLookupText bytes on a character boundary. "" when nothing is selected.
inline constexpr size_t kMaxLookupText = 256;
std::string TextToLookUp(const SelectionSource& source);
std::string FirstLineToLookUp(std::string_view text);

}  // namespace ql
