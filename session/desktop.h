// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The desktop the command flows run against: its services and the view of
// the book in the main window, in one object (the main window is both).
#pragma once

#include "book_view.h"
#include "desktop_services.h"

namespace ql {

class Desktop : public DesktopServices, public BookView {};

}  // namespace ql
