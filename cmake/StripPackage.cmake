# SPDX-License-Identifier: GPL-3.0-or-later
# Run by cpack on the staged files before they are packed: strips the
# program as Debian's own tools do, dropping the compiler's identification
# and notes along with the symbols (a plain strip keeps them).
# The programs below any package's staging folder (one per package).
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(FILTER staged INCLUDE REGEX "/bin/[^/]+$")
if(staged STREQUAL "")
  message(FATAL_ERROR "no program staged below ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS staged)
  execute_process(
    COMMAND ${CPACK_PURGO_STRIP} --remove-section=.comment --remove-section=.note --strip-unneeded ${program}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not strip ${program}")
  endif()
endforeach()
