#!/usr/bin/env bash
# Installs what is missing, builds and starts Kestrova. Without a display it
# renders the default shot to a PNG instead.
source "$(dirname "${BASH_SOURCE[0]}")/tools/common.sh"
install_missing
configure_and_build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  out="$BUILD_DIR/kestrova-shot.png"
  "$BUILD_DIR/program/kestrova-render" -o "$out"
  echo "No display: rendered the default shot to $out"
  exit 0
fi
exec "$BUILD_DIR/program/kestrova" "$@"
