#include "app/statistics.h"

#include <functional>
#include <vector>

#include <curl/curl.h>
#include <glib.h>
#include <gtest/gtest.h>

#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/main_thread.h"
#include "app/system/os_info.h"
#include "base/string_util.h"
#include "tests/app/app_test_support.h"

namespace corvane {
namespace {

using app_test::ScopedUserEnvironment;
using app_test::VendorService;

std::string Base64(const std::string& bytes) {
  gchar* e = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string out(e);
  g_free(e);
  return out;
}

TEST(AppStatisticsTextTest, JsonStringsAreEscaped) {
  EXPECT_EQ(JsonQuote(L"plain 视频"), L"\"plain 视频\"");
  EXPECT_EQ(JsonQuote(L"a\"b\\c"), L"\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonQuote(L"\n\t\r\b\f"), L"\"\\n\\t\\r\\b\\f\"");
  EXPECT_EQ(JsonQuote(std::wstring(L"\x01\x1f", 2)), L"\"\\u0001\\u001f\"");
  EXPECT_EQ(JsonQuote(L"\x7f"), L"\"\x7f\"");
}

TEST(AppStatisticsTextTest, DataTextKeepsKeyOrderAndNoBlanks) {
  EXPECT_EQ(BuildDataText({}), L"{}");
  EXPECT_EQ(BuildDataText({{L"ClickSrc", L"Install"}}), L"{\"ClickSrc\":\"Install\"}");
  EXPECT_EQ(BuildDataText({{L"Scale", L"100"}, {L"Dpi", L"96"}, {L"FirstStart", L"true"}}),
            L"{\"Dpi\":\"96\",\"FirstStart\":\"true\",\"Scale\":\"100\"}");
}

TEST(AppStatisticsTextTest, RecordTextAndBase64Body) {
  ScopedUserEnvironment env;
  ResetMachineInfoCachesForTesting();
  ASSERT_TRUE(WriteRegistryString("Software\\corvane\\AppInfo", L"UniqueId", L"0123ABCD"));
  EXPECT_EQ(BuildRecordText(L"OnClick", L"{\"ClickSrc\":\"Install\"}"),
            L"{\"eventId\":\"OnClick\",\"imei\":\"0123ABCD\",\"appver\":\"" CORVANE_VERSION
            L"\",\"appName\":\"CorvaneOnlineInstaller\",\"data\":{\"ClickSrc\":\"Install\"}}");
  EXPECT_EQ(BuildRecordText(L"X", L""),
            L"{\"eventId\":\"X\",\"imei\":\"0123ABCD\",\"appver\":"
            L"\"" CORVANE_VERSION L"\",\"appName\":\"CorvaneOnlineInstaller\"}");
  EXPECT_EQ(BuildRecordBody(L"abc"), "log=YWJj");
  EXPECT_EQ(BuildRecordBody(L"ab"), "log=YWI=");
  EXPECT_EQ(BuildRecordBody(L"a"), "log=YQ==");
  EXPECT_EQ(BuildRecordBody(L"视"), "log=" + Base64("视"));
  ResetMachineInfoCachesForTesting();
}

class AppStatisticsUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachineInfoCachesForTesting();
    ClearGlobalCookiesForTesting();
    WriteRegistryString("Software\\corvane\\AppInfo", L"UniqueId", L"FEEDFACE");
    CollectCommonFields();
  }
  void TearDown() override {
    ClearGlobalCookiesForTesting();
    ResetMachineInfoCachesForTesting();
  }
  ScopedUserEnvironment env_;
};

TEST_F(AppStatisticsUploadTest, RecordWithQuoteArrivesAsValidJsonWithCookiesInNameOrder) {
  VendorService service;
  service.UseForInstaller(&env_);
  const std::wstring record = BuildRecordText(
      L"InstallResultReport",
      BuildDataText({{L"errorMsg", L"Install \"Faild\" \\ errorCode:\n5"}, {L"result", L"faild"}}));
  EXPECT_EQ(UploadRecord(BuildRecordBody(record)), 0);
  ASSERT_TRUE(service.WaitForStatistics(1));
  const std::string line = service.StatisticsLines()[0];
  EXPECT_EQ(app_test::JsonStringField(line, "text"), nbase::WideToUTF8(record));
  EXPECT_EQ(app_test::JsonStringField(line, "body"), BuildRecordBody(record));
  const std::string system =
      corvane::ReadOsName() + (corvane::Is64BitMachine() ? " 64位" : " 32位");
  EXPECT_EQ(app_test::JsonStringField(line, "cookie_header"),
            "appname=CorvaneOnlineInstaller;appver=" CORVANE_VERSION
            ";channel=default;imei=FEEDFACE;os=linux;system=" +
                system + ";");
  EXPECT_EQ(app_test::JsonStringField(line, "User-Agent").value_or("").substr(0, 11),
            "Mozilla/5.0");
}

TEST_F(AppStatisticsUploadTest, RefusedOrUnreachableServiceCostsTwoAttempts) {
  for (const char* refusal : {"503", "reset"}) {
    VendorService refusing({"--refuse-statistics", refusal});
    refusing.UseForInstaller(&env_);
    EXPECT_NE(UploadRecord(BuildRecordBody(L"{}")), 0) << refusal;
    EXPECT_EQ(refusing.AccessLines().size(), 2u) << refusal;
    EXPECT_TRUE(refusing.StatisticsLines().empty());
  }
  int dead_port;
  {
    VendorService gone;
    dead_port = gone.port();
  }
  env_.Set("CORVANE_STATISTICS_URL",
           "http://127.0.0.1:" + std::to_string(dead_port) + "/caller?c=site&a=writelog");
  EXPECT_EQ(UploadRecord(BuildRecordBody(L"{}")), CURLE_COULDNT_CONNECT);
}

bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 1000 && !done(); ++i) g_usleep(10000);
  return done();
}

TEST_F(AppStatisticsUploadTest, LibraryGoesWhenIdleAndRecordsStayInOrder) {
  VendorService service;
  service.UseForInstaller(&env_);
  MiscThread http(kThreadHttp, "http");
  ASSERT_TRUE(http.Start());
  ReportEvent(L"First", {});
  ASSERT_TRUE(service.WaitForStatistics(1));
  EXPECT_TRUE(Eventually([] { return !app_test::HttpLibraryMapped(); }));
  // A burst: the library comes back for it and goes after its last record.
  for (const wchar_t* id : {L"Second", L"Third", L"Fourth"}) ReportEvent(id, {});
  ASSERT_TRUE(service.WaitForStatistics(4));
  EXPECT_TRUE(Eventually([] { return !app_test::HttpLibraryMapped(); }));
  std::vector<std::string> ids;
  for (const std::string& line : service.StatisticsLines()) {
    const std::string text = app_test::JsonStringField(line, "text").value_or("");
    const std::string head = "{\"eventId\":\"";
    ids.push_back(text.rfind(head, 0) == 0
                      ? text.substr(head.size(), text.find('"', head.size()) - head.size())
                      : text);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"First", "Second", "Third", "Fourth"}));
  http.Stop();
}

TEST_F(AppStatisticsUploadTest, WarmedUpLibraryServesTheNextRequestAndGoesIfNoneComes) {
  VendorService service;
  service.UseForInstaller(&env_);
  MiscThread http(kThreadHttp, "http");
  ASSERT_TRUE(http.Start());
  WarmUpHttpLibrary(300);
  EXPECT_TRUE(Eventually([] { return app_test::HttpLibraryMapped(); }));
  EXPECT_TRUE(Eventually([] { return !app_test::HttpLibraryMapped(); }));
  // A request alive when the time is up keeps it.
  WarmUpHttpLibrary(300);
  EXPECT_TRUE(Eventually([] { return app_test::HttpLibraryMapped(); }));
  {
    HttpClient client;
    g_usleep(600000);
    EXPECT_TRUE(app_test::HttpLibraryMapped());
    std::string response;
    EXPECT_EQ(client.PostForm(service.statistics_url(), BuildRecordBody(L"{}"), &response), 0);
  }
  EXPECT_EQ(service.StatisticsLines().size(), 1u);
  http.Stop();
}

}  // namespace
}  // namespace corvane
