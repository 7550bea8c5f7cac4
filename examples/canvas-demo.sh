#!/bin/bash
# Builds the canvas library, termcanvas.jar and the example, then runs the
# example in this terminal.  BUILD names the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" -G Ninja
cmake --build "$BUILD" --target canvas_demo
# The library's folder on java.library.path, the jar on the class path.
exec java -Djava.library.path="$BUILD/canvas" \
  -cp "$BUILD/canvas/termcanvas.jar:$BUILD/examples/canvas_demo.jar" CanvasDemo
