#pragma once
// The picture helper's last line of defence: once it has read the picture on
// its standard input, it gives up the file system except for the folders
// its libraries, fonts and players' data live in, so a drawing that names
// a file (a picture, a device, a pipe) cannot get at it, whatever the
// players make of the name. Landlock where the kernel offers it.
#include <string>

namespace kestrova {

struct Confinement {
  bool confined = false;
  int abi = 0;        // the kernel's Landlock version; 0 without Landlock
  std::string said;   // one line for the helper's start: what it got
};

// Confines this process (and what it starts) to reading the folders given
// and the system's libraries, fonts and players' data. Irreversible.
Confinement ConfineToLibraries(const std::string& ownFolder);

}  // namespace kestrova
