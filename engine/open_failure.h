// Why a book did not open, in words for the user: from what BookReader::Open
// found, or by looking at the file again.
#pragma once

#include <string>

#include "book_reader.h"

namespace ql {

// The reason (without the path) that path could not be opened, given the
// result Open returned: the system's error text, "is a directory", "not a
// Quillary book", an unsupported version, another Quillary writing it (when
// an open for writing was refused), or damaged.
std::string OpenFailureReason(const std::string& path, int openResult);

// The same, told by what Open found (BookReader::LastOpenFailure) without
// looking at the file again, in the same words; a failure the file alone
// cannot show (a legacy book that could not be marked for writing on a full
// disk) is named as what it was.
std::string OpenFailureReason(const std::string& path, int openResult,
                              const OpenFailureInfo& failure);

// The system's error text, with a full disk said plainly.
std::string SystemErrorText(int error);

}  // namespace ql
