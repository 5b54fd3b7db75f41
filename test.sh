#!/usr/bin/env bash
# Installs what is missing (the program's packages and the test tools),
# builds with warnings as errors and runs every test (the window tests under
# a virtual X server).
source "$(dirname "${BASH_SOURCE[0]}")/tools/common.sh"
install_missing tests
configure_and_build -DKESTROVA_STRICT=ON -DKESTROVA_TESTS=ON -DKESTROVA_BENCH=ON
install_test_tools
cd "$BUILD_DIR"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2 --timeout 300
