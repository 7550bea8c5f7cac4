#!/bin/bash
# Builds everything, starts the local build server on loopback with the
# sample project's build script, and runs real builds against it: one that
# succeeds (the object file comes back), one that fails (the compiler's
# messages come back), and a server test.  Stops the server at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-build}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"
CLIENT=$ROOT/$BUILD/xrbbldc
SERVER=$ROOT/$BUILD/tools/buildserver/xrbblds

DEMO=$(mktemp -d /tmp/xrbbld-demo.XXXXXX)
SERVER_PID=
cleanup() {
    if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
    rm -rf "$DEMO"
}
trap cleanup EXIT

mkdir -p "$DEMO/server" "$DEMO/out"
cp -r tools/buildserver/sample/project "$DEMO/project"
"$SERVER" --port 0 --port-file "$DEMO/port" --scripts "$ROOT/tools/buildserver/sample/scripts" \
    --work "$DEMO/server" --auth demo:demo-pw >/dev/null 2>"$DEMO/server.log" &
SERVER_PID=$!
for _ in $(seq 100); do [ -s "$DEMO/port" ] && break; sleep 0.05; done
PORT=$(cat "$DEMO/port")
HOST=127.0.0.1@$PORT

show() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
run() {
    printf '$ xrbbldc'; printf ' %q' "$@"; printf '\n'
    set +e; "$CLIENT" "$@"; STATUS=$?; set -e
    echo "(exit status $STATUS)"
}

cd "$DEMO/project"
show "local build server on $HOST"
run -testServer -h "$HOST"

show "a successful build: hello.c with its header, the object comes back"
run -h "$HOST" -au demo -ap demo-pw -b cc -p --O2 -i hello.c -d greeting.h -o hello.o -P "$DEMO/out/hello."
ls -l hello.o
echo "symbols of the object fetched from the server:"
nm hello.o
echo "messages kept under the prefix:"
ls "$DEMO/out"

show "a failed build: broken.c does not compile"
run -h "$HOST" -au demo -ap demo-pw -b cc -i broken.c -o broken.o -P "$DEMO/out/broken."
[ -e broken.o ] && echo "broken.o exists (unexpected)" || echo "no broken.o was fetched"

show "stopping the server"
kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=
echo done
