# Project-wide warning flags; -Werror is switched on in CI and by scripts/test.
function(ql_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(QL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
