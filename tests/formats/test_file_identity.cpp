// Where a name lands once every link along it is followed, dangling ones
// too, and whether it stays in a folder: checked on folders and links made
// here, with the answers written by hand.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "formats/file_identity.h"

namespace fs = std::filesystem;
using kestrova::FileIdentity;
using kestrova::LiesWithin;
using kestrova::ResolvedPath;

TEST(FileIdentity, LinksAreFollowedEvenWhereTheyPointAtNothingYet) {
  char made[] = "/tmp/kestrova-identity-XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const fs::path root = fs::canonical(made);
  struct Gone {
    fs::path folder;
    ~Gone() { fs::remove_all(folder); }
  } gone{root};
  fs::create_directories(root / "sheet" / "deep");
  fs::create_directories(root / "sheet-other");
  fs::create_directories(root / "outside");
  std::ofstream(root / "sheet" / "face.png") << "x";
  fs::create_symlink(root / "outside" / "evil.png", root / "sheet" / "away.png");  // dangling, outside
  fs::create_symlink("deep/later.png", root / "sheet" / "near.png");                // dangling, inside
  fs::create_symlink("../outside", root / "sheet" / "door");                        // a folder outside
  fs::create_symlink("face.png", root / "sheet" / "alias.png");                     // another name
  fs::create_symlink("loop", root / "sheet" / "loop");
  struct Case {
    const char* name;
    const char* lands;  // relative to root
    bool inside;        // the folder "sheet"
  };
  const Case cases[] = {
      {"sheet/new.png", "sheet/new.png", true},
      {"sheet/deep/../new.png", "sheet/new.png", true},
      {"sheet-other/new.png", "sheet-other/new.png", false},
      {"sheet/../sheet-other/new.png", "sheet-other/new.png", false},
      {"sheet/away.png", "outside/evil.png", false},
      {"sheet/near.png", "sheet/deep/later.png", true},
      {"sheet/door/new.png", "outside/new.png", false},
      {"sheet/door/../sheet/new.png", "sheet/new.png", true},
      {"sheet/alias.png", "sheet/face.png", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolvedPath(root / c.name), root / c.lands) << c.name;
    EXPECT_EQ(LiesWithin(root / "sheet", root / c.name), c.inside) << c.name;
    EXPECT_EQ(LiesWithin(root / "sheet/", root / c.name), c.inside) << c.name << " (folder named with a slash)";
  }
  // A loop of links ends; it lands nowhere inside another folder.
  EXPECT_FALSE(LiesWithin(root / "outside", root / "sheet" / "loop"));
  // One file by its two names; a dangling link and the name it points at.
  EXPECT_EQ(FileIdentity(root / "sheet/alias.png"), FileIdentity(root / "sheet/face.png"));
  EXPECT_EQ(FileIdentity(root / "sheet/near.png"), FileIdentity(root / "sheet/deep/later.png"));
  EXPECT_NE(FileIdentity(root / "sheet/near.png"), FileIdentity(root / "sheet/new.png"));
}
