// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "one_instance.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace ql {

namespace {

constexpr std::string_view kHeader = "quillary request 1";
constexpr std::string_view kEnd = "end";

void Escape(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
}

std::optional<std::string> Unescape(std::string_view text) {
  if (text.size() > 2 * kMaxRequestField) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0') return std::nullopt;
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    if (text[i] == '\\')
      out += '\\';
    else if (text[i] == 'n')
      out += '\n';
    else if (text[i] == 'r')
      out += '\r';
    else
      return std::nullopt;
  }
  if (out.size() > kMaxRequestField) return std::nullopt;
  return out;
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

// A directory that is the user's alone (or, for the runtime directory, the
// user's at all: the desktop makes it private).
bool OwnDirectory(const std::string& dir, bool mustBePrivate) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return false;
  return !mustBePrivate || (st.st_mode & 077) == 0;
}

bool FitsASocket(const std::string& path) {
  return path.size() < sizeof(sockaddr_un{}.sun_path);
}

}  // namespace

std::string EncodeRequest(const InstanceRequest& request) {
  if (request.books.size() > kMaxRequestBooks) return {};
  std::string out(kHeader);
  out += '\n';
  auto field = [&out](std::string_view kind, std::string_view text) {
    if (text.size() > kMaxRequestField || text.find('\0') != std::string_view::npos) return false;
    out += kind;
    out += ' ';
    Escape(out, text);
    out += '\n';
    return true;
  };
  for (const std::string& book : request.books)
    if (!field("book", book)) return {};
  if (request.lookup && !field("lookup", *request.lookup)) return {};
  if (request.lookupSelection) out += "selection\n";
  out += kEnd;
  out += '\n';
  // The running one reads no more than this: a longer request would be cut.
  if (out.size() > kMaxRequestBytes) return {};
  return out;
}

DecodedRequest DecodeRequest(std::string_view bytes) {
  DecodedRequest result;
  const RequestState more =
      bytes.size() > kMaxRequestBytes ? RequestState::kBad : RequestState::kIncomplete;
  bool first = true;
  while (true) {
    const size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
      // A line is never longer than its field and its kind.
      result.state = bytes.size() > 2 * kMaxRequestField + 16 ? RequestState::kBad : more;
      return result;
    }
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end + 1);
    if (first) {
      first = false;
      if (line != kHeader) {
        result.state = RequestState::kBad;
        return result;
      }
      continue;
    }
    if (line == kEnd) {
      result.state = RequestState::kComplete;
      return result;
    }
    if (line == "selection") {
      result.request.lookupSelection = true;
      continue;
    }
    const bool book = StartsWith(line, "book ");
    const bool lookup = StartsWith(line, "lookup ");
    if (!book && !lookup) continue;
    std::optional<std::string> text = Unescape(line.substr(book ? 5 : 7));
    if (!text || (book && (result.request.books.size() >= kMaxRequestBooks || text->empty() ||
                           (*text)[0] != '/'))) {
      result.state = RequestState::kBad;
      result.request = {};
      return result;
    }
    if (book)
      result.request.books.push_back(std::move(*text));
    else
      result.request.lookup = std::move(*text);
  }
}

std::string InstanceSocketPath() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    const std::string path = std::string(runtime) + "/quillary.socket";
    if (OwnDirectory(runtime, false) && FitsASocket(path)) return path;
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = tmp && *tmp == '/' ? tmp : "/tmp";
  const std::string dir = base + "/quillary-" + std::to_string(::geteuid());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  const std::string path = dir + "/instance.socket";
  if (!OwnDirectory(dir, true) || !FitsASocket(path)) return {};
  return path;
}

std::string FirstLineToLookUp(std::string_view text) {
  text = text.substr(0, text.find_first_of("\r\n"));
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  if (text.size() > kMaxLookupText) {
    size_t cut = kMaxLookupText;
    // Never inside a character: back over continuation bytes.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text = text.substr(0, cut);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
  }
  return std::string(text);
}

std::string TextToLookUp(const SelectionSource& source) {
  // Where there is a primary selection it is what the user just selected;
  // an empty one means nothing is, and the clipboard may be old.
  if (const std::optional<std::string> primary = source.PrimarySelection())
    return FirstLineToLookUp(*primary);
  return FirstLineToLookUp(source.Clipboard());
}

}  // namespace ql
