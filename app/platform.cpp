#include "platform.h"

#include <algorithm>
#include <cctype>

namespace kestrova {

std::vector<std::pair<std::string, std::string>> SplitFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : filter) {
    if (c == '|') {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) break;
    pairs.emplace_back(parts[i], parts[i + 1]);
  }
  return pairs;
}

std::string SuffixOfFilter(const std::string& entry, const std::string& fallback) {
  const size_t open = entry.rfind('(');
  const size_t star = entry.find("*.", open == std::string::npos ? 0 : open);
  if (star == std::string::npos) return fallback;
  size_t end = star + 2;
  while (end < entry.size() && std::isalnum(static_cast<unsigned char>(entry[end]))) ++end;
  return end == star + 2 ? fallback : entry.substr(star + 2, end - star - 2);
}

bool IsWebAddress(const std::string& url) {
  std::string lower = url.substr(0, 8);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

}  // namespace kestrova
