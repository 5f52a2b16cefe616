# SPDX-License-Identifier: GPL-3.0-or-later
# Completion of the options of purgo and purgo-cli for fish. The category
# ids come from the program itself (its --list), so they never fall
# behind it. Installed under both names, as fish looks a command's
# completions up by its name.

# The ids and names of the command being completed, whichever it is.
function __purgo_categories
    set -l command (commandline -opc)[1]
    $command --list 2>/dev/null | string replace -r "^([^\t]*)\t([^\t]*).*" "\$1\t\$2"
end

for command in purgo purgo-cli
    complete -c $command -f
    complete -c $command -s h -l help -d 'Show the help'
    complete -c $command -s v -l version -d 'Show the version'
    complete -c $command -l list -d 'List the trace categories'
    complete -c $command -l preview -d 'Scan and print what is found; delete nothing'
    complete -c $command -l clean -d 'Scan, then delete what is found'
    complete -c $command -l yes -d 'Confirm --clean'
    complete -c $command -s c -l category -x -d 'A trace category to scan' \
        -a '(__purgo_categories)'
    complete -c $command -s f -l folder -x -d 'A folder for the file-type cleaner' -a '(__fish_complete_directories)'
    complete -c $command -s e -l ending -x -d 'A name ending to look for'
    complete -c $command -l no-subfolders -d 'Do not look below the folders given'
    complete -c $command -l from -r -F -d 'With --clean: the files of this preview list'
    complete -c $command -l json -d 'JSON lines instead of text'
    complete -c $command -s 0 -l null -d 'End text records with a NUL byte'
end
