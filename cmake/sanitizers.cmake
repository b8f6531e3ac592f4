# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
if(QL_SANITIZE AND QL_SANITIZE_THREAD)
  message(FATAL_ERROR "QL_SANITIZE and QL_SANITIZE_THREAD cannot be combined")
endif()
if(QL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
# The threaded search and the spelling worker are checked under ThreadSanitizer;
# only the engine and reader-core suites are built in that configuration.
if(QL_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
