// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The one-instance request: any bytes are a request, not yet one or a bad
// one; a request they hold encodes and decodes to itself, and no part of
// its encoding is a bad request. The selection text to look up is one line,
// bounded, and UTF-8 whenever the selection was.
#include <cstdint>
#include <string>

#include "one_instance.h"
#include "utf8_check.h"

using qlfuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ql::DecodedRequest decoded = ql::DecodeRequest(bytes);
  if (decoded.state == ql::RequestState::kComplete) {
    const std::string encoded = ql::EncodeRequest(decoded.request);
    Require(!encoded.empty() || size > ql::kMaxRequestBytes);
    if (!encoded.empty()) {
      const ql::DecodedRequest again = ql::DecodeRequest(encoded);
      Require(again.state == ql::RequestState::kComplete && again.request == decoded.request);
      for (size_t cut = 0; cut < encoded.size(); cut += 1 + cut / 8)
        Require(ql::DecodeRequest(encoded.substr(0, cut)).state == ql::RequestState::kIncomplete);
    }
  } else if (decoded.state == ql::RequestState::kBad) {
    Require(decoded.request == ql::InstanceRequest{});
  }
  const std::string word = ql::FirstLineToLookUp(bytes);
  Require(word.size() <= ql::kMaxLookupText);
  Require(word.find_first_of("\r\n") == std::string::npos);
  Require(!qlfuzz::IsUtf8(bytes) || qlfuzz::IsUtf8(word));
  return 0;
}
