#!/usr/bin/env bash
# Installs what is missing, builds and starts Kestrova. Without a display it
# renders the default shot to a PNG instead.
source "$(dirname "${BASH_SOURCE[0]}")/tools/common.sh"
install_missing
# Only the program: the tests and benchmarks need packages ./test.sh installs.
configure_and_build -DKESTROVA_TESTS=OFF -DKESTROVA_BENCH=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  out="$BUILD_DIR/kestrova-shot.png"
  "$BUILD_DIR/program/kestrova-render" -o "$out"
  echo "No display: rendered the default shot to $out"
  exit 0
fi
exec "$BUILD_DIR/program/kestrova" "$@"
