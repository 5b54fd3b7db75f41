#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// A file written beside `path` under a hidden name of ours,
// ".<name>.kestrova-<pid>@<host>-XXXXXX", that takes `path`'s name only when
// it is committed whole: a failure, a full disk or an interrupted program
// leaves whatever was at `path` as it was. The temporary is created
// exclusively, so a link planted there is never followed. Left-overs of
// ours beside `path` from processes of this machine no longer running are
// removed when the next one opens. A `path` that is a symbolic link
// replaces the file it points to; one the user may not write is refused.
class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile();  // uncommitted: the temporary is removed
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // `followLink`: a `path` that is a symbolic link replaces the file it
  // points to (the user's exports); false for the program's own files,
  // which replace whatever stands at their name.
  bool open(const std::string& path, std::string* reason, bool followLink = true);
  const std::string& temporaryPath() const { return temporary_; }
  // The open descriptor, handed over: the caller closes it (fdopen, ...).
  int takeDescriptor();
  // Gives the temporary the target's permissions (or the usual ones for a
  // new file), flushes it and its folder to disk and renames it into place.
  bool commit(std::string* reason);
  // Removes the temporary; the target stays as it was.
  void discard();

 private:
  std::string path_;
  std::string temporary_;
  int fd_ = -1;
};

// The hidden name prefix of our temporaries for `path` (".<name>.kestrova-").
std::string PendingPrefix(const std::string& path);

// Writes `bytes` to `path` through a new temporary file in the same folder.
// The temporary is created exclusively under a unique name, so a link or
// file planted there is never followed. It takes the permissions of the file
// it replaces (or the usual ones for a new file), and it is flushed to disk,
// with its folder, before it takes the name: a power cut leaves the old file
// or the new one. On failure the old file is untouched and `reason` says why.
bool ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* reason,
                 bool followLink = true);

}  // namespace kestrova
