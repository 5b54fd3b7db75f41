#pragma once
#include <string>

namespace kestrova {

// Where the program looks for news of a newer version: a plain text file with
// a line "version=X.Y.Z".
constexpr const char* kUpdateScriptUrl = "http://updates.kestrova.example/kestrova-update.txt";

struct UpdateCheckResult {
  enum class Status { UpToDate, Available, Unreachable };
  Status status = Status::Unreachable;
  std::string latestVersion;
  std::string message;  // what to tell the user
};

// <0, 0, >0 like strcmp, comparing dotted numbers ("1.10" > "1.9"; "1.0" == "1").
int CompareVersions(const std::string& a, const std::string& b);

// The version named by the script's "version=" line, or empty.
std::string ParseUpdateScript(const std::string& text);

UpdateCheckResult CheckForUpdates(const std::string& scriptUrl, const std::string& currentVersion,
                                  int timeoutMs = 5000);

}  // namespace kestrova
