// libFuzzer harness for the project reader's parsing: any bytes must be read
// or refused without touching memory outside the buffer, and what is read
// must fit the scene record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "formats/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kestrova::ProjectParse parse = kestrova::ParseProject(data, size);
  if (parse.ok) {
    if (parse.data.keys.size() > static_cast<size_t>(kestrova::kKeyCapacity - 1)) std::abort();
    for (const kestrova::StoredKey& key : parse.data.keys) {
      if (key.frame < 0 || key.frame >= kestrova::kTrackFrames) std::abort();
    }
    // Writing what was read must give a file that reads back.
    auto scene = std::make_unique<kestrova::SceneState>();
    scene->textureName[kestrova::kNameWebsiteLink] = parse.data.websiteLink;
    const std::vector<uint8_t> again = kestrova::SerialiseProject(*scene);
    if (!kestrova::ParseProject(again.data(), again.size()).ok) std::abort();
  }
  return 0;
}
