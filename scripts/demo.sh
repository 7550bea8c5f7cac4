#!/bin/bash
# Builds everything, starts the local build server on loopback with the
# sample project's build script, and runs real builds against it: one that
# succeeds (the object file comes back), one that fails (the compiler's
# messages come back), a server test, and a make -j4 of the sample make
# project, whose four compiles run side by side.  Stops the server at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-build}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
CLIENT=$BUILD/xrbbldc
SERVER=$BUILD/tools/buildserver/xrbblds

DEMO=$(mktemp -d /tmp/xrbbld-demo.XXXXXX)
SERVER_PID=
cleanup() {
    if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
    rm -rf "$DEMO"
}
trap cleanup EXIT

mkdir -p "$DEMO/out"
cp -r tools/buildserver/sample/project "$DEMO/project"
cp -r tools/buildserver/sample/makeproject "$DEMO/makeproject"
# Credentials from a file only its owner can read, not from the command line.
printf 'demo:demo-pw\n' > "$DEMO/auth"
chmod 600 "$DEMO/auth"
"$SERVER" --port 0 --port-file "$DEMO/port" --scripts "$ROOT/tools/buildserver/sample/scripts" \
    --work "$DEMO/server" --auth-file "$DEMO/auth" --jobs 4 >/dev/null 2>"$DEMO/server.log" &
SERVER_PID=$!
for _ in $(seq 200); do [ -s "$DEMO/port" ] && break; sleep 0.05; done
if [ ! -s "$DEMO/port" ]; then
    echo "demo: the build server did not start:" >&2
    cat "$DEMO/server.log" >&2
    exit 1
fi
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

show "a make project: make -j4 builds four objects side by side, then links, all on the server"
cd "$DEMO/makeproject"
printf '$ make -j4\n'
make -j4 --no-print-directory SERVER="$HOST" XRBBLDC="$CLIENT" XRBFLAGS="-au demo -ap demo-pw" >make.out 2>&1 \
    || { cat make.out; exit 1; }
grep '^compiling\|^linking' src/*.STDOUT main.STDOUT calc.STDOUT
./calc
echo "the server's log of it:"
grep -E 'builds running|busy' "$DEMO/server.log" | tail -5

show "stopping the server"
kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=
echo done
