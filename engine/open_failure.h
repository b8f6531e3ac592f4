// Why a book did not open, in words for the user. BookReader::Open only says
// open or not (and "unsupported"); this looks at the file to say which.
#pragma once

#include <string>

namespace ql {

// The reason (without the path) that path could not be opened, given the
// result Open returned: the system's error text, "is a directory", "not a
// Quillary book", an unsupported version, or in use / damaged.
std::string OpenFailureReason(const std::string& path, int openResult);

}  // namespace ql
