#!/usr/bin/env bash
# Installs what Parlo needs, builds it and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARLO_TESTS=OFF -DPARLO_BENCH=OFF
if [ -f "$root/tests/support/directory_server.py" ] && ! (exec 3<>/dev/tcp/127.0.0.1/${PARLO_SERVER_PORT:-9961}) 2>/dev/null; then
  echo "Starting the local directory server on 127.0.0.1:${PARLO_SERVER_PORT:-9961}"
  python3 "$root/tests/support/directory_server.py" --port "${PARLO_SERVER_PORT:-9961}" \
    --data "${PARLO_SERVER_DATA:-$HOME/.local/share/parlo-directory}" >/dev/null 2>&1 &
  # Parlo connects at once; give the server a moment to listen.
  for _ in $(seq 50); do
    (exec 3<>/dev/tcp/127.0.0.1/${PARLO_SERVER_PORT:-9961}) 2>/dev/null && break
    sleep 0.1
  done
fi
exec "$root/build/parlo" "$@"
