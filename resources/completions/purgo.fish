# SPDX-License-Identifier: GPL-3.0-or-later
# Completion of purgo's options for fish. The category ids come from the
# program itself (purgo --list), so they never fall behind it.

complete -c purgo -f
complete -c purgo -s h -l help -d 'Show the help'
complete -c purgo -s v -l version -d 'Show the version'
complete -c purgo -l list -d 'List the trace categories'
complete -c purgo -l preview -d 'Scan and print what is found; delete nothing'
complete -c purgo -l clean -d 'Scan, then delete what is found'
complete -c purgo -l yes -d 'Confirm --clean'
complete -c purgo -s c -l category -x -d 'A trace category to scan' \
    -a '(purgo --list 2>/dev/null | string replace -r "^([^\t]*)\t([^\t]*).*" "\$1\t\$2")'
complete -c purgo -s f -l folder -x -d 'A folder for the file-type cleaner' -a '(__fish_complete_directories)'
complete -c purgo -s e -l ending -x -d 'A name ending to look for'
complete -c purgo -l no-subfolders -d 'Do not look below the folders given'
complete -c purgo -l from -r -F -d 'With --clean: the files of this preview list'
complete -c purgo -l json -d 'JSON lines instead of text'
complete -c purgo -s 0 -l null -d 'End text records with a NUL byte'
