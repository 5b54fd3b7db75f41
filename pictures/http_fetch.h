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

// Addresses a picture link must not reach by a detour: loopback, link-local,
// private and unspecified ones (a project could otherwise probe the user's
// own machine and network).
bool IsLocalAddress(const std::string& address);

// Whether a fetch of `from` may follow a redirect to `to`, whose host has
// `toAddresses`: only to http or https, and to a local address only when the
// original address was local itself.
bool RedirectAllowed(const std::string& from, const std::vector<std::string>& fromAddresses, const std::string& to,
                     const std::vector<std::string>& toAddresses);

// The host a web picture name is fetched from, as the fetch itself reads
// it: "http://a.example:80@127.0.0.1/x.png" is fetched from 127.0.0.1. Empty
// for a name that is not an http or https address, and for one with user
// information before its host (set `why` to say so): such a name shows the
// user one host and reaches another, and is never fetched.
std::string WebPictureHost(const std::string& name, std::string* why = nullptr);

// Fetches an http or https address, waiting at most `timeoutMs` and refusing
// bodies larger than `maxBytes`. Runs a local event loop; needs a
// QCoreApplication.
HttpResult HttpGet(const std::string& url, int timeoutMs, int64_t maxBytes);

}  // namespace kestrova
