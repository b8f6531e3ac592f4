// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Why a book did not open, in words for the user, told by what
// BookReader::Open found (BookReader::LastOpenFailure): the file is never
// looked at again to guess.
#pragma once

#include <string>

#include "book_reader.h"

namespace ql {

// The reason (without the path) the open described by failure failed: the
// system's error text, "is a directory", "not a Quillary book", an
// unsupported version, another Quillary writing it (when an open for
// writing was refused), damaged, or a legacy book that could not be marked
// for writing (on a full disk, say).
std::string OpenFailureReason(const OpenFailureInfo& failure);

// The failure of an open that found path could not be examined (stat gave
// error) or is a directory (error EISDIR), in the form Open gives it.
OpenFailureInfo SystemOpenFailure(const std::string& path, int error);

// The system's error text, with a full disk said plainly.
std::string SystemErrorText(int error);

}  // namespace ql
