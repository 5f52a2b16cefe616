# SPDX-License-Identifier: GPL-3.0-or-later
# purgo-cli.exe under Wine on a folder of drive C: of the test prefix: the
# preview lists the files of the ending asked for, below sub-folders too,
# and nothing else; the clean that follows deletes just those.
# Arguments: -DWINE=... -DCLI=... -DPREFIX=... (the Wine prefix)
set(dir "${PREFIX}/drive_c/purgo-cli-test")
file(REMOVE_RECURSE "${dir}")
file(WRITE "${dir}/a.tmp" "12345")
file(WRITE "${dir}/sub/b.TMP" "1")
file(WRITE "${dir}/keep.txt" "kept")

function(run out)
  execute_process(COMMAND ${WINE} ${CLI} ${ARGN} OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "purgo-cli ${ARGN}: status ${rc}\n${text}\n${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(expect text pattern)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "expected ${pattern} in:\n${text}")
  endif()
endfunction()

run(preview --preview -f "C:\\purgo-cli-test" -e .tmp --json)
expect("${preview}" "\"path\":\"C:\\\\\\\\purgo-cli-test\\\\\\\\a\\.tmp\",\"size\":5")
expect("${preview}" "\"path\":\"C:\\\\\\\\purgo-cli-test\\\\\\\\sub\\\\\\\\b\\.TMP\",\"size\":1")
expect("${preview}" "\"event\":\"summary\",\"mode\":\"preview\",\"files\":2,\"bytes\":6")
if(preview MATCHES "keep")
  message(FATAL_ERROR "a file of another ending was listed:\n${preview}")
endif()

run(clean --clean --yes -f "C:\\purgo-cli-test" -e .tmp)
expect("${clean}" "summary: 2 deleted \\(6 bytes\\)")
if(EXISTS "${dir}/a.tmp" OR EXISTS "${dir}/sub/b.TMP" OR NOT EXISTS "${dir}/keep.txt")
  message(FATAL_ERROR "the clean deleted other files than those listed:\n${clean}")
endif()
file(REMOVE_RECURSE "${dir}")
