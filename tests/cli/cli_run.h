#pragma once
// Runs kestrova-render (or another program) as a user would, with its
// output and error together.
#include <sys/wait.h>

#include "tests/support/needs_tool.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct CliRun {
  int status;
  std::string output;
};

inline CliRun runProgram(const std::string& program, const std::string& arguments) {
  const std::string command = program + " " + arguments + " 2>&1";
  CliRun result{-1, {}};
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 256> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe)) result.output += buffer.data();
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline CliRun run(const std::string& arguments) { return runProgram(KESTROVA_RENDER, arguments); }


}  // namespace
