// What kestrova-render reports: its artwork check (--preflight), as text and as JSON.
#include "tests/cli/cli_helpers.h"

TEST(RenderPreflight, WarnsOfSoftFacesAtLargeSizesAndStrictMakesThatAFailure) {
  const CliRun large = run("--preflight --size 3840x2160");
  EXPECT_EQ(large.status, 0) << large.output;
  EXPECT_NE(large.output.find("warning: Front: stretched"), std::string::npos) << large.output;
  EXPECT_EQ(run("--preflight --size 3840x2160 --strict").status, 1);
  const CliRun small = run("--preflight --size 640x360 --strict");
  EXPECT_EQ(small.status, 0) << small.output;
  EXPECT_EQ(small.output.find("warning:"), std::string::npos) << small.output;

  // A drawing on the front is drawn at the size shown: never stretched.
  QTemporaryDir dir;
  const std::string svg = dir.path().toStdString() + "/front.svg";
  std::ofstream(svg) << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"80\" height=\"100\">"
                        "<rect width=\"80\" height=\"100\" fill=\"#c03030\"/></svg>";
  const CliRun json = run("--preflight --json --size 3840x2160 --face front=" + svg);
  ASSERT_EQ(json.status, 0) << json.output;
  const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(json.output)).object();
  EXPECT_EQ(report["width"].toInt(), 3840);
  const QJsonArray faces = report["faces"].toArray();
  // Only the front was given: the other five show plain card and say so.
  ASSERT_EQ(faces.size(), 1) << json.output;
  EXPECT_EQ(report["plainFaces"].toArray().size(), 5) << json.output;
  for (const QJsonValue face : faces) {
    const QJsonObject f = face.toObject();
    if (f["face"].toString() != "Front") continue;
    EXPECT_TRUE(f["drawing"].toBool());
    EXPECT_EQ(f["stretch"].toDouble(), 1.0);
    EXPECT_EQ(f["file"].toString().toStdString(), svg);
    // 80 x 100 on a face of 5.2 by 6.6: 1.5 % wider.
    EXPECT_NEAR(f["aspectDifference"].toDouble(), (80.0 / 100) / (5.2 / 6.6) - 1, 1e-3);
  }
}

TEST(RenderPreflight, TheWrapAndTheBoardAreSeenAndThePageEdgesNeverWarn) {
  auto faces = [](const std::string& product) {
    const CliRun checked = run("--product " + product + " --preflight --size 1280x720 --json");
    EXPECT_EQ(checked.status, 0) << checked.output;
    const std::string json = checked.output.substr(std::min(checked.output.find('{'), checked.output.size()));
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object()["faces"].toArray();
  };
  const struct {
    const char* product;
    const char* face;
  } seen[] = {{"mug", "Wrap"}, {"screenshot", "Screen"}, {"box", "Front"}};
  for (const auto& c : seen) {
    bool found = false;
    for (const auto& face : faces(c.product)) {
      if (face.toObject()["face"].toString() != c.face) continue;
      found = true;
      EXPECT_TRUE(face.toObject()["seen"].toBool()) << c.product << " " << c.face;
    }
    EXPECT_TRUE(found) << c.product << " " << c.face;
  }
  for (const auto& face : faces("book")) {
    if (face.toObject()["face"].toString() != "Pages") continue;
    EXPECT_TRUE(face.toObject()["warnings"].toArray().isEmpty()) << "lines meant to stretch";
  }
}

TEST(RenderPreflight, TheProgramsOwnArtworkPassesStrict) {
  // Each product as it starts, at a full-HD picture. (The board is left
  // out: its picture is squeezed by the Screen Shot rule itself.)
  for (const char* product : {"box", "book", "mug"}) {
    for (const char* size : {"1280x720", "1920x1080"}) {
      const CliRun checked = run(std::string("--product ") + product + " --preflight --strict --size " + size);
      EXPECT_EQ(checked.status, 0) << product << " at " << size << ":\n" << checked.output;
    }
  }
}

// The check still reports, as JSON, when a face's picture cannot be read:
// that face with its error, and a failing status.
TEST(RenderPreflight, AnUnreadableFaceIsInTheJsonWithItsError) {
  const CliRun check = run("--preflight --json --face front=/nonexistent/cover.png");
  EXPECT_EQ(check.status, 1) << check.output;
  const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(
      check.output.substr(0, check.output.rfind('}') + 1))).object();
  const QJsonArray unreadable = report["unreadable"].toArray();
  ASSERT_EQ(unreadable.size(), 1) << check.output;
  EXPECT_EQ(unreadable[0].toObject()["face"].toString(), "front");
  EXPECT_TRUE(unreadable[0].toObject()["error"].toString().contains("/nonexistent/cover.png"));
}
