// One load in a fresh process, for bench_models: "read FILE" reads the file
// into a new buffer, "import FILE" runs Import3DS. Prints the operation's
// nanoseconds; the parent takes the peak memory from the process's usage.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/model_3ds.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string mode = argv[1];
  const auto start = std::chrono::steady_clock::now();
  if (mode == "read") {
    const int fd = ::open(argv[2], O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) return 1;
    const auto size = static_cast<size_t>(info.st_size);
    std::unique_ptr<char[]> bytes(new char[size]);
    for (size_t done = 0; done < size;) {
      const ssize_t n = ::read(fd, bytes.get() + done, size - done);
      if (n <= 0) return 1;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    // Every page was written by read(): the buffer is as resident as a model.
  } else if (mode == "import") {
    kestrova::Model3DS model;
    if (!kestrova::Import3DS(model, argv[2]).ok) return 1;
  } else {
    return 2;
  }
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
  std::printf("%lld\n", static_cast<long long>(ns.count()));
  return 0;
}
