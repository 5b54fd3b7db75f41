#pragma once
// Runs a program as a fresh process and reports its wall time, its peak
// resident memory and what it printed: how the start-up and memory rows are
// measured, since a warm process hides page faults and library loading.
#include <chrono>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrova::bench {

struct ProcessRun {
  double seconds = 0;
  long peakKiB = 0;
  int status = -1;  // the exit status; -1 when it did not exit
  std::string out;  // its standard output
};

inline ProcessRun RunProcess(const std::vector<std::string>& argv) {
  ProcessRun run;
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return run;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeEnds[1], 1);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) run.out.append(buffer, static_cast<size_t>(n));
  ::close(pipeEnds[0]);
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakKiB = usage.ru_maxrss;
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

}  // namespace kestrova::bench
