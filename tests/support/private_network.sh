#!/bin/sh
# Runs a test where loopback is the only network: in a network namespace of its own (unprivileged
# where user namespaces allow it), with CARVO_PRIVATE_NETWORK set so that tests whose peers
# listen on every address know they may run. Where no namespace can be made, the test runs as it
# is and those cases skip.
if unshare -rn true 2>/dev/null && command -v ip >/dev/null 2>&1; then
    exec unshare -rn sh -c 'ip link set lo up && CARVO_PRIVATE_NETWORK=1 exec "$@"' sh "$@"
fi
echo "private_network.sh: no network namespace here; cases that need one skip" >&2
exec "$@"
