#include "update_check.h"

#include <cctype>
#include <sstream>
#include <vector>

#include "pictures/http_fetch.h"

namespace kestrova {

namespace {

std::vector<long> versionParts(const std::string& version) {
  std::vector<long> parts;
  std::stringstream stream(version);
  std::string part;
  while (std::getline(stream, part, '.')) {
    long value = 0;
    for (char c : part) {
      if (!std::isdigit(static_cast<unsigned char>(c))) break;
      value = value * 10 + (c - '0');
      if (value > 1000000000) break;
    }
    parts.push_back(value);
  }
  while (!parts.empty() && parts.back() == 0) parts.pop_back();
  return parts;
}

std::string trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

int CompareVersions(const std::string& a, const std::string& b) {
  const auto left = versionParts(a);
  const auto right = versionParts(b);
  for (size_t i = 0; i < left.size() || i < right.size(); ++i) {
    const long l = i < left.size() ? left[i] : 0;
    const long r = i < right.size() ? right[i] : 0;
    if (l != r) return l < r ? -1 : 1;
  }
  return 0;
}

std::string ParseUpdateScript(const std::string& text) {
  std::stringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    line = trim(line);
    const std::string key = "version=";
    if (line.size() > key.size() && line.compare(0, key.size(), key) == 0) {
      const std::string version = trim(line.substr(key.size()));
      if (!version.empty() && std::isdigit(static_cast<unsigned char>(version[0]))) return version;
    }
  }
  return {};
}

UpdateCheckResult CheckForUpdates(const std::string& scriptUrl, const std::string& currentVersion,
                                  int timeoutMs) {
  UpdateCheckResult result;
  // An update script is a line or two; anything big is not one.
  const HttpResult answer = HttpGet(scriptUrl, timeoutMs, 64 * 1024);
  const std::string latest =
      answer.ok ? ParseUpdateScript(std::string(answer.body.begin(), answer.body.end())) : "";
  if (latest.empty()) {
    result.status = UpdateCheckResult::Status::Unreachable;
    result.message = "The update server could not be reached, so Kestrova could not check for "
                     "updates. Please try again later.";
    return result;
  }
  result.latestVersion = latest;
  if (CompareVersions(latest, currentVersion) > 0) {
    result.status = UpdateCheckResult::Status::Available;
    result.message = "Kestrova version " + latest + " is available. You are using version " +
                     currentVersion + ".";
  } else {
    result.status = UpdateCheckResult::Status::UpToDate;
    result.message = "Kestrova is up to date (version " + currentVersion + ").";
  }
  return result;
}

}  // namespace kestrova
