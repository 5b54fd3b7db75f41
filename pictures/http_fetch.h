#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

struct HttpResult {
  bool ok = false;
  std::vector<uint8_t> body;
  std::string error;  // readable, for the user
};

// Fetches an http or https address, waiting at most `timeoutMs` and refusing
// bodies larger than `maxBytes`. Runs a local event loop; needs a
// QCoreApplication.
HttpResult HttpGet(const std::string& url, int timeoutMs, int64_t maxBytes);

}  // namespace kestrova
