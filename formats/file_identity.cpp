#include "formats/file_identity.h"

#include <sys/stat.h>

#include <algorithm>
#include <deque>

namespace fs = std::filesystem;

namespace kestrova {

fs::path ResolvedPath(const fs::path& path) {
  std::error_code ignored;
  const fs::path absolute = fs::absolute(path, ignored);
  const fs::path relative = absolute.relative_path();
  std::deque<fs::path> rest(relative.begin(), relative.end());
  fs::path done = absolute.root_path();
  // As the kernel does: past 40 links a name is a loop, and is left as it is.
  int links = 0;
  while (!rest.empty()) {
    const fs::path part = rest.front();
    rest.pop_front();
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      done = done.parent_path();
      continue;
    }
    const fs::path next = done / part;
    std::error_code missing;
    if (links < 40 && fs::is_symlink(fs::symlink_status(next, missing))) {
      const fs::path target = fs::read_symlink(next, missing);
      if (!missing) {
        ++links;
        if (target.is_absolute()) done = target.root_path();
        const fs::path further = target.relative_path();
        rest.insert(rest.begin(), further.begin(), further.end());
        continue;
      }
    }
    done = next;
  }
  return done;
}

std::string FileIdentity(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  return ResolvedPath(path).string();
}

bool LiesWithin(const fs::path& folder, const fs::path& path) {
  const fs::path base = ResolvedPath(folder), target = ResolvedPath(path);
  const auto [end, at] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
  return end == base.end();  // resolved names have no empty last part, "folder/" or not
}

}  // namespace kestrova
