# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# Project-wide warning flags; -Werror is switched on in CI and by scripts/test.
function(ql_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  # GCC 12 reports impossible overlaps in std::string concatenation at -O3
  # (a known false positive of -Wrestrict), so that check is off for GCC.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(QL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
