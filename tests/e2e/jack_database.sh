#!/usr/bin/env bash
# Set up before the tests that start a JACK server (the CTest fixture "jack_database"). JACK keeps
# one metadata database for all servers of a user (/dev/shm/jack_db-UID). A JACK process killed
# while it held the database's lock leaves it locked, and every server started after it waits at
# its start, in this run and the next ones. With no JACK server of this user running, nothing uses
# it: removed here, JACK makes it again. A server of the user's own is left alone, with its
# database.
set -euo pipefail
if pgrep -u "$(id -u)" -x 'jackd|jackdbus' >/dev/null; then
    echo "a JACK server of this user runs: its metadata database is left as it is"
else
    rm -rf "/dev/shm/jack_db-$(id -u)"
fi
