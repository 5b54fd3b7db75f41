#pragma once
// Tests that check with outside tools (Blender, Poppler, qpdf, Ghostscript,
// LittleCMS, Node and its packages, Chromium): run without them, such a
// test skips and says which is missing; in CI (KESTROVA_CI, set by .ci/run)
// it fails, since ./test.sh installs them all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kestrova::test {

// Why `tool` is missing here (a program on the PATH, or an npm package in
// the build's npm-tools); empty when it is here.
inline std::string ToolMissing(const std::string& tool) {
  if (tool == "gltf-validator" || tool == "three" || tool == "puppeteer-core") {
#ifdef KESTROVA_NPM_TOOLS
    if (std::filesystem::exists(std::string(KESTROVA_NPM_TOOLS) + "/node_modules/" + tool)) return {};
#endif
    return "the npm package " + tool + " is not installed (./test.sh installs it)";
  }
  if (std::system(("command -v '" + tool + "' > /dev/null 2>&1").c_str()) == 0) return {};
  return tool + " is not on the PATH (./test.sh installs it)";
}

}  // namespace kestrova::test

#define KESTROVA_NEEDS_TOOLS(...)                                            \
  for (const char* needed : {__VA_ARGS__}) {                                 \
    const std::string missing = ::kestrova::test::ToolMissing(needed);       \
    if (missing.empty()) continue;                                           \
    if (std::getenv("KESTROVA_CI")) FAIL() << missing;                       \
    GTEST_SKIP() << missing;                                                 \
  }
