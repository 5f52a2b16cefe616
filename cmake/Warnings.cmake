# SPDX-License-Identifier: GPL-3.0-or-later
function(purgo_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual)
  if(PURGO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
