// The system downloader pass. These tests run twice in scripts/test: without
// a desktop (GIO has no http, the pass fails at once) and in a desktop-like
// session (session bus, gvfsd), where CORVANE_DESKTOP_SESSION=1 demands that
// the pass really runs.

#include "app/system_downloader.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include <curl/curl.h>
#include <glib.h>
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/package_download.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"

namespace corvane {
namespace {

using app_test::CountContaining;
using app_test::FileExists;
using app_test::ReadFile;
using app_test::ScopedUserEnvironment;
using app_test::VendorService;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
  while (const char* name = dir ? g_dir_read_name(dir) : nullptr) names.push_back(name);
  if (dir) g_dir_close(dir);
  return names;
}

std::vector<std::string> Gets(const VendorService& service) {
  std::vector<std::string> gets;
  for (const std::string& line : service.AccessLines()) {
    if (line.find("\"method\": \"GET\"") != std::string::npos) gets.push_back(line);
  }
  return gets;
}

// "1" in the desktop-like run, "0" in the run without one; unset when the
// tests are started by hand, and then whatever the machine offers counts.
std::optional<bool> DesktopSessionDemanded() {
  const char* value = std::getenv("CORVANE_DESKTOP_SESSION");
  if (!value) return std::nullopt;
  return std::string(value) == "1";
}

class AppSystemDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    package_ = dir_.Sub("package.bin");
    app_test::WriteRandomFile(package_, 200 * 1024 + 3);
    out_ = dir_.Sub("out");
    mkdir(out_.c_str(), 0700);
    target_ = out_ + "/corvaneInstaller.exe";
  }
  std::string Url(const VendorService& service) const {
    return service.package_base_url() + "&channel=c1";
  }
  // Nothing at the target and nothing else left in its folder.
  void ExpectNothingLeft(const std::string& what) const {
    EXPECT_FALSE(FileExists(target_)) << what;
    EXPECT_TRUE(FolderEntries(out_).empty()) << what;
  }

  ScopedUserEnvironment env_;
  app_test::TempDir dir_;
  std::string package_;
  std::string out_;
  std::string target_;
};

TEST_F(AppSystemDownloadTest, AvailableOnlyForHttpWhereTheDesktopOffersIt) {
  const std::optional<bool> demanded = DesktopSessionDemanded();
  if (demanded) {
    EXPECT_EQ(SystemDownloaderAvailable("http://127.0.0.1:1/x"), *demanded);
    EXPECT_EQ(SystemDownloaderAvailable("https://127.0.0.1:1/x"), *demanded);
  }
  EXPECT_FALSE(SystemDownloaderAvailable("file:///etc/hostname"));
  EXPECT_FALSE(SystemDownloaderAvailable("not a url"));
  if (!SystemDownloaderAvailable("http://127.0.0.1:1/x")) {
    // Fails at once, without a request and without a file.
    VendorService service({"--package", package_});
    app_test::WriteFile(target_, "stale");
    EXPECT_FALSE(SystemDownload(Url(service), target_, 300));
    EXPECT_FALSE(FileExists(target_));
    EXPECT_TRUE(service.AccessLines().empty());
  }
}

TEST_F(AppSystemDownloadTest, WholePackageArrivesExecutableDirectlyAndThroughRedirects) {
  chmod(package_.c_str(), 0644);
  VendorService plain({"--package", package_});
  ASSERT_TRUE(plain.ok());
  app_test::WriteFile(target_, "stale package of an earlier run");
  ASSERT_EQ(DesktopTransfer(Url(plain), target_, 300), 0);
  EXPECT_EQ(ReadFile(target_), ReadFile(package_));
  struct stat st;
  ASSERT_EQ(stat(target_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0700, 0700u);
  EXPECT_EQ(FolderEntries(out_), std::vector<std::string>{"corvaneInstaller.exe"});
  const std::vector<std::string> gets = Gets(plain);
  ASSERT_EQ(gets.size(), 1u);
  // The desktop path fetches the download address itself, not the HTTP
  // library's transfer address.
  EXPECT_EQ(app_test::JsonStringField(gets[0], "kind"), "");

  // Five redirects are followed; a sixth is one too many.
  VendorService five({"--package", package_, "--redirect", "--redirect-hops", "5"});
  ASSERT_EQ(DesktopTransfer(Url(five), target_, 300), 0);
  EXPECT_EQ(ReadFile(target_), ReadFile(package_));
  EXPECT_EQ(Gets(five).size(), 6u);
  unlink(target_.c_str());
  VendorService six({"--package", package_, "--redirect", "--redirect-hops", "6"});
  EXPECT_EQ(DesktopTransfer(Url(six), target_, 300), CURLE_TOO_MANY_REDIRECTS);
  ExpectNothingLeft("six redirects");
}

TEST_F(AppSystemDownloadTest, FailuresEndAtOnceWithoutAFile) {
  // None of these may wait for a limit (15 s is the shortest); starting the services is not
  // counted, since it is slow on a loaded machine.
  const auto transfer = [](const std::string& url, const std::string& target) {
    const auto start = Clock::now();
    const int code = DesktopTransfer(url, target, 300);
    EXPECT_LT(SecondsSince(start), 14.0) << url;
    return code;
  };
  for (const char* status : {"404", "500"}) {
    VendorService service({"--package", package_, "--fail-first", "9", "--fail-status", status});
    EXPECT_EQ(transfer(Url(service), target_), CURLE_HTTP_RETURNED_ERROR) << status;
    ExpectNothingLeft(status);
  }
  VendorService resetting({"--package", package_, "--fail-first", "9", "--fail-status", "reset"});
  EXPECT_NE(transfer(Url(resetting), target_), 0);
  ExpectNothingLeft("reset");

  VendorService truncating({"--package", package_, "--truncate", "1000"});
  EXPECT_EQ(transfer(Url(truncating), target_), CURLE_PARTIAL_FILE);
  ExpectNothingLeft("truncated");

  // Only http and https are followed.
  VendorService elsewhere(
      {"--package", package_, "--redirect", "--redirect-location", "file://" + package_});
  EXPECT_EQ(transfer(Url(elsewhere), target_), CURLE_UNSUPPORTED_PROTOCOL);
  ExpectNothingLeft("file redirect");
  // A redirect without a target is an answer, not a package.
  VendorService no_location({"--package", package_, "--redirect", "--redirect-location", ""});
  EXPECT_EQ(transfer(Url(no_location), target_), CURLE_HTTP_RETURNED_ERROR);
  ExpectNothingLeft("empty location");

  int dead_port;
  {
    VendorService gone;
    dead_port = gone.port();
  }
  EXPECT_EQ(transfer("http://127.0.0.1:" + std::to_string(dead_port) + "/x", target_),
            CURLE_COULDNT_CONNECT);
  ExpectNothingLeft("unreachable");

  EXPECT_EQ(transfer(Url(truncating), dir_.Sub("missing/dir/file")), 2);
}

TEST_F(AppSystemDownloadTest, SilenceEndsTheTransferAtTheIdleLimit) {
  // A server that accepts and never answers, and one that stops sending
  // mid-body, each end with a timeout once the idle limit has passed.
  VendorService hanging({"--package", package_, "--fail-first", "9", "--fail-status", "hang"});
  VendorService stalling({"--package", package_, "--stall-after", "5000"});
  const std::string stalled_target = out_ + "/stalled.exe";
  const auto start = Clock::now();
  auto stalled = std::async(std::launch::async, [&] {
    const int code = DesktopTransfer(Url(stalling), stalled_target, 300);
    return std::make_pair(code, SecondsSince(start));
  });
  const int hang_code = DesktopTransfer(Url(hanging), target_, 300);
  const double hang_seconds = SecondsSince(start);
  const auto [stall_code, stall_seconds] = stalled.get();

  EXPECT_EQ(hang_code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(stall_code, CURLE_OPERATION_TIMEDOUT);
  for (double seconds : {hang_seconds, stall_seconds}) {
    EXPECT_GE(seconds, kSystemDownloadIdleSeconds - 0.5);
    EXPECT_LT(seconds, kSystemDownloadIdleSeconds + 5.0);
  }
  EXPECT_FALSE(FileExists(stalled_target));
  ExpectNothingLeft("silence");
}

TEST_F(AppSystemDownloadTest, SlowDripArrivesAndTheTotalLimitHolds) {
  // 40 KiB at 16 KiB/s: slow, but never silent for long.
  const std::string small = dir_.Sub("small.bin");
  app_test::WriteRandomFile(small, 40 * 1024);
  VendorService dripping({"--package", small, "--drip", "16384"});
  const std::string url = Url(dripping);
  auto transfer =
      std::async(std::launch::async, [&] { return DesktopTransfer(url, target_, 300); });
  // While bytes arrive, nothing named is in the folder.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_TRUE(FolderEntries(out_).empty());
  ASSERT_EQ(transfer.get(), 0);
  EXPECT_EQ(ReadFile(target_), ReadFile(small));
  EXPECT_EQ(FolderEntries(out_), std::vector<std::string>{"corvaneInstaller.exe"});

  // The same drip under a two-second total limit.
  const auto start = Clock::now();
  EXPECT_EQ(DesktopTransfer(url, target_, 2), CURLE_OPERATION_TIMEDOUT);
  EXPECT_LT(SecondsSince(start), 5.0);
  ExpectNothingLeft("total limit");
}

TEST_F(AppSystemDownloadTest, TheDesktopProxyCarriesTheTransfer) {
  const std::string url = "http://192.0.2.1:8090/caller?c=site&a=downloadPackage";
  EXPECT_EQ(DesktopProxyFor(url), "");
  env_.Set("http_proxy", "socks://127.0.0.1:1080");
  EXPECT_EQ(DesktopProxyFor(url), "socks5h://127.0.0.1:1080");

  app_test::LoggingProxy proxy;
  ASSERT_TRUE(proxy.ok());
  env_.Set("http_proxy", proxy.url());
  EXPECT_EQ(DesktopProxyFor(url), proxy.url());
  VendorService service({"--package", package_});
  ASSERT_EQ(DesktopTransfer(Url(service), target_, 300), 0);
  EXPECT_EQ(ReadFile(target_), ReadFile(package_));
  ASSERT_EQ(proxy.Lines().size(), 1u);
  EXPECT_EQ(app_test::JsonStringField(proxy.Lines()[0], "url"), Url(service));
  EXPECT_EQ(Gets(service).size(), 1u);

  // A proxy kind the transfer cannot speak is a failure, not a way around
  // the settings.
  env_.Set("http_proxy", "ftp://127.0.0.1:21");
  EXPECT_EQ(DesktopProxyFor(url), std::nullopt);
  EXPECT_EQ(DesktopTransfer(Url(service), target_, 300), CURLE_COULDNT_RESOLVE_PROXY);
  ExpectNothingLeft("ftp proxy");
  EXPECT_EQ(Gets(service).size(), 1u);

  // Addresses the settings exempt go direct.
  env_.Set("http_proxy", proxy.url());
  env_.Set("no_proxy", "127.0.0.1");
  EXPECT_EQ(DesktopProxyFor(Url(service)), "");
  ASSERT_EQ(DesktopTransfer(Url(service), target_, 300), 0);
  EXPECT_EQ(proxy.Lines().size(), 1u);
  EXPECT_EQ(Gets(service).size(), 2u);
}

// The passes of a whole download against each kind of server, with the
// codes, pass counts and record data of the design in either run.
class AppSystemDownloadPassesTest : public ::testing::Test {
 protected:
  DownloadSettings Settings(const VendorService& service) {
    service.UseForInstaller(&env_);
    ParseCommandLine({L"channel:desktop_pass"});
    DownloadSettings settings = ComposeDownloadSettings();
    ParseCommandLine({});
    desktop_ = SystemDownloaderAvailable(nbase::WideToUTF8(settings.download_address));
    if (DesktopSessionDemanded()) {
      EXPECT_EQ(desktop_, *DesktopSessionDemanded());
    }
    return settings;
  }
  std::string Path(const DownloadSettings& settings) const {
    return nbase::WideToUTF8(settings.package_path);
  }
  // Requests per failed pass: the desktop's and the HTTP library's.
  size_t PerPass() const { return desktop_ ? 2 : 1; }

  ScopedUserEnvironment env_;
  app_test::TempDir dir_;
  bool desktop_ = false;
};

TEST_F(AppSystemDownloadPassesTest, HealthyServerIsServedByTheFirstTransfer) {
  const std::string package = dir_.Sub("p");
  app_test::WriteRandomFile(package, 77777);
  VendorService service({"--package", package});
  const DownloadSettings settings = Settings(service);
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.retries, 0);
  EXPECT_EQ(outcome.file_size, 77777);
  EXPECT_EQ(ReadFile(Path(settings)), ReadFile(package));
  const std::vector<std::string> gets = Gets(service);
  ASSERT_EQ(gets.size(), 1u);
  EXPECT_EQ(app_test::JsonStringField(gets[0], "kind"), desktop_ ? "" : "curl");
  EXPECT_EQ(CountContaining(gets, "CorvaneInstaller"), desktop_ ? 1u : 0u);
  EXPECT_EQ(DownloadRecordData(outcome).at(L"fileSize"), L"77777");
}

TEST_F(AppSystemDownloadPassesTest, ErrorServersFailEveryPassQuickly) {
  // Every kind of failing server costs each pass only its two requests; a
  // desktop must not make them wait (gvfs once stalled from the third pass).
  constexpr int kAnyFailure = -1;  // a reset yields 52 or 56, as the kernel has it
  struct Case {
    std::vector<std::string> options;
    int code;
  };
  const std::string package = dir_.Sub("p");
  app_test::WriteRandomFile(package, 5000);
  const std::vector<Case> cases = {
      {{"--fail-first", "100", "--fail-status", "404"}, CURLE_HTTP_RETURNED_ERROR},
      {{"--fail-first", "100", "--fail-status", "500"}, CURLE_HTTP_RETURNED_ERROR},
      {{"--fail-first", "100", "--fail-status", "reset"}, kAnyFailure},
      {{"--truncate", "100"}, CURLE_PARTIAL_FILE},
  };
  for (const Case& c : cases) {
    std::vector<std::string> options = {"--package", package};
    options.insert(options.end(), c.options.begin(), c.options.end());
    VendorService service(options);
    const DownloadSettings settings = Settings(service);
    const auto start = Clock::now();
    const DownloadOutcome outcome = RunDownloadPasses(settings);
    EXPECT_LT(SecondsSince(start), 10.0) << c.options[1];
    if (c.code == kAnyFailure) {
      EXPECT_NE(outcome.code, 0);
    } else {
      EXPECT_EQ(outcome.code, c.code) << c.options[1];
    }
    EXPECT_EQ(outcome.retries, 5);
    EXPECT_EQ(Gets(service).size(), 5 * PerPass()) << c.options[1];
    EXPECT_FALSE(FileExists(Path(settings)));
    const EventData data = DownloadRecordData(outcome);
    EXPECT_EQ(data.at(L"ret"), std::to_wstring(outcome.code));
    EXPECT_EQ(data.at(L"retryTime"), L"5");
    EXPECT_EQ(data.count(L"fileSize"), 0u);
  }

  int dead_port;
  {
    VendorService gone;
    dead_port = gone.port();
  }
  env_.Set("CORVANE_PACKAGE_BASE_URL",
           "http://127.0.0.1:" + std::to_string(dead_port) + "/caller?c=site&a=downloadPackage");
  const DownloadSettings settings = ComposeDownloadSettings();
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, CURLE_COULDNT_CONNECT);
  EXPECT_EQ(outcome.retries, 5);
  EXPECT_FALSE(FileExists(Path(settings)));
}

TEST_F(AppSystemDownloadPassesTest, TwoServerErrorsThenAHealthyAnswer) {
  const std::string package = dir_.Sub("p");
  app_test::WriteRandomFile(package, 4321);
  VendorService service({"--package", package, "--fail-first", "2", "--fail-status", "500"});
  const DownloadSettings settings = Settings(service);
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, 0);
  // Both failures fall into the first pass where the desktop transfers too.
  EXPECT_EQ(outcome.retries, desktop_ ? 1 : 2);
  EXPECT_EQ(outcome.file_size, 4321);
  EXPECT_EQ(Gets(service).size(), 3u);
  EXPECT_EQ(DownloadRecordData(outcome).at(L"retryTime"), desktop_ ? L"1" : L"2");
}

TEST_F(AppSystemDownloadPassesTest, TheFirstTransferTakesTheDesktopProxy) {
  const std::string package = dir_.Sub("p");
  app_test::WriteRandomFile(package, 2048);
  VendorService service({"--package", package, "--redirect"});
  const DownloadSettings settings = Settings(service);
  if (!desktop_) GTEST_SKIP() << "no desktop http downloader here";
  app_test::LoggingProxy proxy;
  ASSERT_TRUE(proxy.ok());
  env_.Set("http_proxy", proxy.url());
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.retries, 0);
  EXPECT_EQ(ReadFile(Path(settings)), ReadFile(package));
  // The address and its redirect both went through the proxy.
  const std::vector<std::string> carried = proxy.Lines();
  ASSERT_EQ(carried.size(), 2u);
  EXPECT_EQ(app_test::JsonStringField(carried[0], "url"),
            nbase::WideToUTF8(settings.download_address));
  EXPECT_EQ(CountContaining(carried, "/files/desktop_pass"), 1u);
}

}  // namespace
}  // namespace corvane
