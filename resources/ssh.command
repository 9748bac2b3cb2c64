#!/bin/bash
# Opened in a terminal by Vesk: an SSH session to the Vagrant machine of one project folder.

# Vesk writes one script per request; it goes as soon as this shell has it open.
rm -f -- "$0"

project={{path}}
PATH="$PATH:/usr/local/bin"

# Leaves the window open with the reason, so the user can read it.
stop() {
    echo
    echo "$1"
    echo
    echo "Press Return to close this window."
    read -r _
    exit 1
}

cd -- "$project" 2>/dev/null || stop "The project folder \"$project\" cannot be opened."
command -v vagrant >/dev/null 2>&1 || stop "Vagrant was not found, so no SSH session could be opened."

vagrant ssh
status=$?
if [ "$status" -ne 0 ]; then
    stop "\"vagrant ssh\" in \"$project\" ended with status $status."
fi
