#include <sys/stat.h>
#include <unistd.h>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/package_download.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"

namespace corvane {
namespace {

using app_test::ScopedUserEnvironment;
using app_test::VendorService;

std::string Narrow(const std::wstring& s) {
  return nbase::WideToUTF8(s);
}

TEST(AppChannelTest, ResourceCommandLineAndUpgradeRules) {
  ScopedUserEnvironment env;
  ParseCommandLine({});
  EXPECT_EQ(ComposeChannel(std::nullopt), L"default");
  EXPECT_EQ(ComposeChannel(std::wstring(L"res_chan")), L"res_chan");

  // "_upgrade" without a stored channel stays "_upgrade".
  EXPECT_EQ(ComposeChannel(std::wstring(L"_upgrade")), L"_upgrade");
  ASSERT_TRUE(WriteRegistryString(kAppInfoKey, L"Channel", L"abc"));
  EXPECT_EQ(ComposeChannel(std::wstring(L"_upgrade")), L"abc");

  // The command line wins over the resource, and its "_upgrade" reads the store too.
  ParseCommandLine({L"channel:cmd_chan"});
  EXPECT_EQ(ComposeChannel(std::wstring(L"res_chan")), L"cmd_chan");
  ParseCommandLine({L"channel:_upgrade"});
  EXPECT_EQ(ComposeChannel(std::wstring(L"res_chan")), L"abc");
  // An empty command-line value does not replace the resource.
  ParseCommandLine({L"channel:"});
  EXPECT_EQ(ComposeChannel(std::wstring(L"res_chan")), L"res_chan");
  ParseCommandLine({});
}

TEST(AppChannelTest, AddressEscapesOnlyWhatMustBeEscaped) {
  EXPECT_EQ(EscapeChannelForUrl(L"corvane_official-1.2~x"), L"corvane_official-1.2~x");
  EXPECT_EQ(EscapeChannelForUrl(L"a b&c=d#e"), L"a%20b%26c%3Dd%23e");
  EXPECT_EQ(EscapeChannelForUrl(L"渠道"), L"%E6%B8%A0%E9%81%93");

  ScopedUserEnvironment env;
  env.Set("CORVANE_PACKAGE_BASE_URL", "http://127.0.0.1:1/caller?c=site&a=downloadPackage");
  ParseCommandLine({L"channel:x&y"});
  const DownloadSettings settings = ComposeDownloadSettings();
  ParseCommandLine({});
  EXPECT_EQ(settings.channel, L"x&y");
  EXPECT_EQ(settings.download_address,
            L"http://127.0.0.1:1/caller?c=site&a=downloadPackage&channel=x%26y");
  EXPECT_EQ(TransferAddress(settings), settings.download_address + L"&donwloadtype=curl");
  EXPECT_EQ(OfflinePackageAddress(),
            L"http://127.0.0.1:1/caller?c=site&a=downloadPackage&donwloadtype=offline");
  EXPECT_EQ(Narrow(settings.package_path), env.data_home() + "/corvane/Files/corvaneInstaller.exe");
  struct stat st;
  EXPECT_EQ(stat((env.data_home() + "/corvane/Files").c_str(), &st), 0);
}

class AppHttpDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    package_ = dir_.Sub("package.bin");
    app_test::WriteRandomFile(package_, 300 * 1024 + 17);
    target_ = dir_.Sub("out/corvaneInstaller.exe");
    mkdir(dir_.Sub("out").c_str(), 0700);
  }
  int Fetch(const VendorService& service, const std::string& channel = "c1") {
    HttpClient client;
    client.set_timeout(30);
    return client.DownloadToFile(service.package_base_url() + "&channel=" + channel, target_);
  }

  ScopedUserEnvironment env_;
  app_test::TempDir dir_;
  std::string package_;
  std::string target_;
};

TEST_F(AppHttpDownloadTest, WholeBodyArrivesDirectlyAndThroughRedirects) {
  VendorService plain({"--package", package_});
  ASSERT_TRUE(plain.ok());
  ASSERT_EQ(Fetch(plain), 0);
  EXPECT_EQ(app_test::ReadFile(target_), app_test::ReadFile(package_));

  VendorService redirecting({"--channel-package", "special=" + package_, "--redirect"});
  ASSERT_TRUE(redirecting.ok());
  ASSERT_EQ(Fetch(redirecting, "special"), 0);
  EXPECT_EQ(app_test::ReadFile(target_), app_test::ReadFile(package_));
  EXPECT_EQ(app_test::CountContaining(redirecting.AccessLines(), "\"redirected\": true"), 1u);
}

TEST_F(AppHttpDownloadTest, ErrorStatusesAreFailuresAndLeaveNoFile) {
  for (const char* status : {"404", "500"}) {
    VendorService service({"--package", package_, "--fail-first", "1", "--fail-status", status});
    ASSERT_TRUE(service.ok());
    EXPECT_EQ(Fetch(service), CURLE_HTTP_RETURNED_ERROR) << status;
    EXPECT_FALSE(app_test::FileExists(target_)) << status;
  }
  VendorService no_package;
  EXPECT_EQ(Fetch(no_package), CURLE_HTTP_RETURNED_ERROR);
  EXPECT_FALSE(app_test::FileExists(target_));
}

TEST_F(AppHttpDownloadTest, BrokenTransfersLeaveNoPartialFile) {
  VendorService truncating({"--package", package_, "--truncate", "1000"});
  EXPECT_EQ(Fetch(truncating), CURLE_PARTIAL_FILE);
  EXPECT_FALSE(app_test::FileExists(target_));

  VendorService resetting({"--package", package_, "--fail-first", "1", "--fail-status", "reset"});
  EXPECT_NE(Fetch(resetting), 0);
  EXPECT_FALSE(app_test::FileExists(target_));

  // Nothing listens on the port of a service that is gone.
  int dead_port;
  {
    VendorService gone;
    dead_port = gone.port();
  }
  HttpClient client;
  EXPECT_EQ(client.DownloadToFile("http://127.0.0.1:" + std::to_string(dead_port) + "/x", target_),
            CURLE_COULDNT_CONNECT);
  EXPECT_FALSE(app_test::FileExists(target_));
}

TEST_F(AppHttpDownloadTest, OnlyWebAddressesAreFetchedOrFollowed) {
  // A local file and a redirect to another scheme both fail as an
  // unsupported protocol and leave no file.
  HttpClient client;
  EXPECT_EQ(client.DownloadToFile("file://" + package_, target_), CURLE_UNSUPPORTED_PROTOCOL);
  EXPECT_FALSE(app_test::FileExists(target_));
  for (const std::string& location : {std::string("ftp://127.0.0.1:1/pkg"), "file://" + package_,
                                      std::string("dict://127.0.0.1:1/x")}) {
    VendorService service({"--package", package_, "--redirect-to", location});
    EXPECT_EQ(Fetch(service), CURLE_UNSUPPORTED_PROTOCOL) << location;
    EXPECT_FALSE(app_test::FileExists(target_)) << location;
  }
  // The statistics post obeys the same rule.
  std::string response;
  HttpClient poster;
  EXPECT_EQ(poster.PostForm("file://" + package_, "log=x", &response), CURLE_UNSUPPORTED_PROTOCOL);
  EXPECT_TRUE(response.empty());
}

TEST_F(AppHttpDownloadTest, DeclaredLengthIsCheckedAgainstTheFreeSpace) {
  // Far more than any disk here: refused before a byte is written.
  VendorService huge({"--package", package_, "--declare-length", std::to_string(1LL << 60)});
  EXPECT_EQ(Fetch(huge), CURLE_WRITE_ERROR);
  EXPECT_FALSE(app_test::FileExists(target_));
  // A declared length that fits is trusted as before: the short body is a
  // partial transfer, not a full disk.
  VendorService plausible({"--package", package_, "--declare-length", "400000"});
  EXPECT_EQ(Fetch(plausible), CURLE_PARTIAL_FILE);
  EXPECT_FALSE(app_test::FileExists(target_));
}

TEST_F(AppHttpDownloadTest, IdleLibraryIsUnloadedAndLoadedAgainForTheNextTransfer) {
  VendorService service({"--package", package_});
  {
    HttpClient client;
    ASSERT_EQ(client.DownloadToFile(service.package_base_url(), target_), 0);
    // A live request keeps it, even between transfers.
    EXPECT_FALSE(UnloadIdleHttpLibrary());
    EXPECT_TRUE(app_test::HttpLibraryMapped());
  }
  EXPECT_TRUE(UnloadIdleHttpLibrary());
  EXPECT_FALSE(app_test::HttpLibraryMapped());
  EXPECT_FALSE(UnloadIdleHttpLibrary());  // nothing left to unload
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(unlink(target_.c_str()), 0);
    HttpClient client;
    ASSERT_EQ(client.DownloadToFile(service.package_base_url(), target_), 0) << round;
    EXPECT_EQ(app_test::ReadFile(target_), app_test::ReadFile(package_)) << round;
    // Headers (a list the library allocated) and a post on the reloaded library.
    std::string response;
    EXPECT_EQ(client.PostForm(service.statistics_url(), "log=e30=", &response), 0) << round;
    EXPECT_FALSE(UnloadIdleHttpLibrary()) << round;
  }
  EXPECT_TRUE(UnloadIdleHttpLibrary());
  EXPECT_EQ(service.StatisticsLines().size(), 2u);
}

TEST_F(AppHttpDownloadTest, LibraryStaysAfterATimedOutTransfer) {
  // Its resolver thread may outlive such a transfer inside the library.
  VendorService slow({"--package", package_, "--delay", "3"});
  {
    HttpClient client;
    client.set_timeout(1);
    EXPECT_EQ(client.DownloadToFile(slow.package_base_url(), target_), CURLE_OPERATION_TIMEDOUT);
  }
  EXPECT_FALSE(UnloadIdleHttpLibrary());
  EXPECT_TRUE(app_test::HttpLibraryMapped());
  // Still usable.
  VendorService service({"--package", package_});
  EXPECT_EQ(Fetch(service), 0);
}

TEST_F(AppHttpDownloadTest, UnopenableFileIsCodeTwo) {
  VendorService service({"--package", package_});
  HttpClient client;
  EXPECT_EQ(client.DownloadToFile(service.package_base_url(), dir_.Sub("missing/dir/file")),
            kResultFileNotWritable);
  EXPECT_TRUE(service.AccessLines().empty());
}

class AppDownloadPassesTest : public ::testing::Test {
 protected:
  DownloadSettings Settings(const VendorService& service) {
    service.UseForInstaller(&env_);
    ParseCommandLine({L"channel:pass_test"});
    DownloadSettings settings = ComposeDownloadSettings();
    ParseCommandLine({});
    return settings;
  }

  ScopedUserEnvironment env_;
  app_test::TempDir dir_;
};

TEST_F(AppDownloadPassesTest, SuccessInTheThirdPassCountsTwoRetries) {
  const std::string package = dir_.Sub("p");
  app_test::WriteRandomFile(package, 123457);
  VendorService service({"--package", package, "--fail-first", "2", "--fail-status", "500"});
  const DownloadSettings settings = Settings(service);
  // A stale package from an earlier run is never taken for a download.
  app_test::WriteFile(Narrow(settings.package_path), "stale");

  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.retries, 2);
  EXPECT_EQ(outcome.file_size, 123457);
  EXPECT_EQ(app_test::ReadFile(Narrow(settings.package_path)), app_test::ReadFile(package));
  const std::vector<std::string> access = service.AccessLines();
  ASSERT_EQ(access.size(), 3u);
  EXPECT_EQ(app_test::CountContaining(access, "\"kind\": \"curl\""), 3u);
  EXPECT_EQ(app_test::CountContaining(access, "\"channel\": \"pass_test\""), 3u);

  EXPECT_EQ(BuildDataText(DownloadRecordData(outcome)),
            L"{\"cost\":\"" + std::to_wstring(outcome.cost_seconds) +
                L"\",\"fileSize\":\"123457\",\"ret\":\"0\",\"retryTime\":\"2\"}");
}

TEST_F(AppDownloadPassesTest, FiveFailedPassesReportTheLastCodeAndNoFileSize) {
  VendorService service(
      {"--package", dir_.Sub("p"), "--fail-first", "100", "--fail-status", "404"});
  app_test::WriteFile(dir_.Sub("p"), "x");
  const DownloadSettings settings = Settings(service);
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, CURLE_HTTP_RETURNED_ERROR);
  EXPECT_EQ(outcome.retries, 5);
  EXPECT_EQ(service.AccessLines().size(), 5u);
  EXPECT_FALSE(app_test::FileExists(Narrow(settings.package_path)));
  const EventData data = DownloadRecordData(outcome);
  EXPECT_EQ(data.count(L"fileSize"), 0u);
  EXPECT_EQ(data.at(L"ret"), L"22");
  EXPECT_EQ(data.at(L"retryTime"), L"5");
}

TEST_F(AppDownloadPassesTest, PackageAppearsOnlyWhenCompleteAndExecutable) {
  const std::string package = dir_.Sub("p");
  app_test::WriteRandomFile(package, 200000);
  VendorService service({"--package", package});
  const DownloadSettings settings = Settings(service);
  const std::string path = Narrow(settings.package_path);
  app_test::WriteFile(path + ".part", "left by a run that was killed");
  ASSERT_EQ(RunDownloadPasses(settings).code, 0);
  EXPECT_EQ(app_test::ReadFile(path), app_test::ReadFile(package));
  EXPECT_FALSE(app_test::FileExists(path + ".part"));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0700, 0700u);
}

TEST_F(AppDownloadPassesTest, UncreatablePackageFolderEndsWithCodeTwo) {
  VendorService service({"--package", dir_.Sub("p")});
  // The data folder is a file, so the package folder cannot be created.
  app_test::WriteFile(dir_.Sub("blocked"), "file, not folder");
  env_.Set("XDG_DATA_HOME", dir_.Sub("blocked"));
  const DownloadSettings settings = Settings(service);
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, kResultFileNotWritable);
  EXPECT_EQ(outcome.retries, 5);
  EXPECT_EQ(DownloadRecordData(outcome).count(L"fileSize"), 0u);
  EXPECT_TRUE(service.AccessLines().empty());
}

TEST(AppHttpClientTest, DefaultsAndCookieText) {
  ClearGlobalCookiesForTesting();
  HttpClient client;
  EXPECT_TRUE(client.has_handle());
  EXPECT_EQ(client.attempts(), 2);
  EXPECT_EQ(client.timeout(), 15);
  EXPECT_EQ(client.headers().size(), 6u);
  EXPECT_EQ(client.headers().at("Connection"), "close");
  EXPECT_EQ(client.BuildCookieText(), "");
  client.cookies()["zeta"] = "1";
  SetGlobalCookie("alpha", "2");
  SetGlobalCookie("zeta", "global loses");
  SetGlobalCookie("alpha", "3");
  EXPECT_EQ(client.BuildCookieText(), "alpha=3;zeta=1;");
  ClearGlobalCookiesForTesting();
}

}  // namespace
}  // namespace corvane
