#include <gtest/gtest.h>

#include "pictures/http_fetch.h"
#include "shot/update_check.h"
#include "tests/support/http_test_server.h"

using namespace kestrova;
using Status = UpdateCheckResult::Status;

TEST(UpdateCheck, ComparesDottedVersionsNumerically) {
  EXPECT_GT(CompareVersions("1.10.0", "1.9.9"), 0);
  EXPECT_EQ(CompareVersions("1.0", "1.0.0"), 0);
  EXPECT_LT(CompareVersions("1.0.0", "1.0.1"), 0);
  EXPECT_LT(CompareVersions("0.9", "1"), 0);
}

TEST(UpdateCheck, ReadsTheVersionLine) {
  EXPECT_EQ(ParseUpdateScript("# Kestrova\nversion=1.2.0\n"), "1.2.0");
  EXPECT_EQ(ParseUpdateScript("  version=2.0  \r\n"), "2.0");
  EXPECT_EQ(ParseUpdateScript("<html>not found</html>"), "");
  EXPECT_EQ(ParseUpdateScript("version=\n"), "");
}

TEST(UpdateCheck, NewerVersionOnTheServerIsAvailable) {
  test::HttpTestServer server;
  server.body = "version=1.2.0\n";
  const auto result = CheckForUpdates(server.url("/update.txt"), "1.0.0");
  EXPECT_EQ(result.status, Status::Available);
  EXPECT_EQ(result.latestVersion, "1.2.0");
  EXPECT_NE(result.message.find("1.2.0"), std::string::npos);
}

TEST(UpdateCheck, SameOrOlderVersionIsUpToDate) {
  test::HttpTestServer server;
  server.body = "version=1.0.0\n";
  EXPECT_EQ(CheckForUpdates(server.url("/u"), "1.0.0").status, Status::UpToDate);
  server.body = "version=0.9.0\n";
  EXPECT_EQ(CheckForUpdates(server.url("/u"), "1.0.0").status, Status::UpToDate);
}

TEST(UpdateCheck, ErrorPageSilenceAndClosedPortAreUnreachable) {
  test::HttpTestServer server;
  server.status = 404;
  server.body = "not here";
  EXPECT_EQ(CheckForUpdates(server.url("/u"), "1.0.0").status, Status::Unreachable);

  test::HttpTestServer silent;
  silent.mode = test::HttpTestServer::Mode::Silent;
  const auto result = CheckForUpdates(silent.url("/u"), "1.0.0", 300);
  EXPECT_EQ(result.status, Status::Unreachable);
  EXPECT_NE(result.message.find("could not be reached"), std::string::npos);

  EXPECT_EQ(CheckForUpdates("http://127.0.0.1:1/u", "1.0.0", 2000).status, Status::Unreachable);
}

TEST(HttpFetch, RefusesOversizedAnswersAndNonWebAddresses) {
  test::HttpTestServer server;
  server.body = QByteArray(200000, 'x');
  const auto big = HttpGet(server.url("/big"), 5000, 1000);
  EXPECT_FALSE(big.ok);
  EXPECT_NE(big.error.find("larger"), std::string::npos);
  const auto fine = HttpGet(server.url("/big"), 5000, 1000000);
  EXPECT_TRUE(fine.ok) << fine.error;
  EXPECT_EQ(fine.body.size(), 200000u);
  EXPECT_FALSE(HttpGet("file:///etc/passwd", 1000, 1000).ok);
}
