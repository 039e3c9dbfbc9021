// The package check in the process: keys, Base64, digest and signatures with
// keys and signatures made by the openssl command line, and the download
// passes against the reference vendor service signing (or forging) on
// loopback.
#include <sys/stat.h>

#include <cstdlib>
#include <random>

#include <curl/curl.h>
#include <glib.h>
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/http_client.h"
#include "app/installer_constants.h"
#include "app/package_download.h"
#include "app/package_signature.h"
#include "app/system_downloader.h"
#include "base/string_util.h"
#include "tests/app/package_key_support.h"

namespace corvane {
namespace {

using app_test::FileExists;
using app_test::ReadFile;
using app_test::VendorService;

std::string Narrow(const std::wstring& s) {
  return nbase::WideToUTF8(s);
}

std::string DigestHex(const std::optional<Sha256Digest>& digest) {
  return digest ? app_test::Hex(digest->data(), digest->size()) : "none";
}

// sha256sum's digest of a file, as hex.
std::string Sha256sum(const std::string& path) {
  return app_test::CommandOutput({"sha256sum", path}).substr(0, 64);
}

Sha256Digest DigestOf(const std::string& bytes) {
  Sha256Hasher hasher;
  hasher.Update(bytes.data(), bytes.size());
  return hasher.Finish().value();
}

std::string Base64(const std::string& bytes) {
  gchar* text = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string out = text;
  g_free(text);
  return out;
}

TEST(AppBase64Test, DecodesStandardTextAndRefusesEverythingElse) {
  EXPECT_EQ(DecodeBase64("YWJj"), "abc");
  EXPECT_EQ(DecodeBase64("YWI="), "ab");
  EXPECT_EQ(DecodeBase64("YQ=="), "a");
  EXPECT_EQ(DecodeBase64(" YW\r\nJj\n"), "abc");  // line breaks as openssl writes them
  EXPECT_EQ(DecodeBase64("+/+/"), "\xfb\xff\xbf");
  const std::string binary("\x00\xff\x10\x80", 4);
  EXPECT_EQ(DecodeBase64("AP8QgA=="), binary);
  for (const char* bad : {"", "   ", "YWJ", "YW=j", "YQ=", "Y===", "====", "YR==", "YWK=", "Y*Jj",
                          "YWJj=", "YWJj YQ", "-_-_"}) {
    EXPECT_EQ(DecodeBase64(bad), std::nullopt) << bad;
  }
}

class AppPackageKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    first_ = app_test::MakeKeyPair(dir_, "first");
    second_ = app_test::MakeKeyPair(dir_, "second");
    ASSERT_TRUE(FileExists(first_.public_pem));
    ASSERT_TRUE(FileExists(second_.public_pem));
    package_ = dir_.Sub("package.bin");
    app_test::WriteRandomFile(package_, 100 * 1024 + 1);
  }

  PackageKeys Keys(const std::vector<app_test::KeyPair>& pairs) {
    std::string text;
    for (const auto& pair : pairs) text += ReadFile(pair.public_pem);
    return ParsePackageKeys(text);
  }

  app_test::TempDir dir_;
  app_test::KeyPair first_;
  app_test::KeyPair second_;
  std::string package_;
};

TEST_F(AppPackageKeyTest, ResourceTextHoldsConcatenatedPemBlocks) {
  const std::string first = ReadFile(first_.public_pem);
  const std::string second = ReadFile(second_.public_pem);
  const PackageKeys keys =
      ParsePackageKeys("vendor keys, newest last\n" + first + "# rotated in 2024\n" + second);
  EXPECT_TRUE(keys.stamped);
  ASSERT_EQ(keys.der.size(), 2u);
  EXPECT_EQ(keys.der[0], app_test::PublicKeyDer(first_.public_pem));
  EXPECT_EQ(keys.der[1], app_test::PublicKeyDer(second_.public_pem));

  // Nothing but white space is no key; anything else is a stamp, even one
  // without a usable block, so that a damaged stamp refuses packages.
  EXPECT_FALSE(ParsePackageKeys("").stamped);
  EXPECT_FALSE(ParsePackageKeys(" \n\t\r\n").stamped);
  const PackageKeys damaged = ParsePackageKeys(
      "-----BEGIN PUBLIC KEY-----\nnot*base64\n"
      "-----END PUBLIC KEY-----\n" +
      first.substr(0, first.size() / 2));
  EXPECT_TRUE(damaged.stamped);
  EXPECT_TRUE(damaged.der.empty());
  EXPECT_FALSE(ReadPackageKeyResource().stamped) << "the test program carries no key";
}

TEST_F(AppPackageKeyTest, DigestMatchesKnownValuesAndSha256sumInAnyPieces) {
  EXPECT_EQ(DigestHex(DigestOf("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(DigestHex(DigestOf("")),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const std::string bytes = ReadFile(package_);
  Sha256Hasher hasher;
  std::mt19937 random(5);
  for (size_t at = 0; at < bytes.size();) {
    const size_t piece = std::min<size_t>(random() % 9000, bytes.size() - at);
    hasher.Update(bytes.data() + at, piece);
    at += piece;
  }
  EXPECT_EQ(DigestHex(hasher.Finish()), Sha256sum(package_));
  // A finished hasher gives no second digest.
  EXPECT_EQ(hasher.Finish(), std::nullopt);
}

TEST_F(AppPackageKeyTest, OnlyASignatureOfTheseBytesByAStampedP256KeyMatches) {
  const std::string signature = app_test::SignPackage(first_.private_pem, package_);
  const Sha256Digest digest = DigestOf(ReadFile(package_));
  EXPECT_TRUE(PackageSignatureMatches(Keys({first_}), digest, signature));
  // Rotation: any stamped key may have signed.
  EXPECT_TRUE(PackageSignatureMatches(Keys({second_, first_}), digest, signature));
  EXPECT_FALSE(PackageSignatureMatches(Keys({second_}), digest, signature));
  EXPECT_FALSE(PackageSignatureMatches(ParsePackageKeys(""), digest, signature));

  // Other bytes: one bit changed.
  std::string changed = ReadFile(package_);
  changed[changed.size() / 2] ^= 1;
  EXPECT_FALSE(PackageSignatureMatches(Keys({first_}), DigestOf(changed), signature));

  // Bodies that are no signature.
  const std::string der = DecodeBase64(signature).value();
  const std::vector<std::string> bodies = {
      "",
      "garbage",
      signature.substr(0, signature.size() / 2),
      Base64("0123456789abcdef"),
      Base64(der + "x"),
      std::string(kMaxSignatureBodyBytes - signature.size() + 1, ' ') + signature,
  };
  for (const std::string& body : bodies) {
    EXPECT_FALSE(PackageSignatureMatches(Keys({first_}), digest, body)) << body.substr(0, 40);
  }
  // White space around the text is fine.
  EXPECT_TRUE(PackageSignatureMatches(Keys({first_}), digest, "\n" + signature + "\r\n"));
}

TEST_F(AppPackageKeyTest, KeysOfAnotherCurveNeverMatch) {
  const app_test::KeyPair p384 = app_test::MakeKeyPair(dir_, "p384", "P-384");
  ASSERT_TRUE(FileExists(p384.public_pem));
  const std::string signature = app_test::SignPackage(p384.private_pem, package_);
  ASSERT_FALSE(signature.empty());
  EXPECT_FALSE(PackageSignatureMatches(Keys({p384}), DigestOf(ReadFile(package_)), signature));
}

// The transfers hash what they write; in scripts/test's desktop-like session
// (CORVANE_DESKTOP_SESSION=1) the system route is the one that delivers.
class AppHttpDownloadSignatureTest : public ::testing::Test {
 protected:
  static bool DesktopRoute() {
    const char* session = std::getenv("CORVANE_DESKTOP_SESSION");
    return session && std::string(session) == "1";
  }

  void SetUp() override {
    package_ = dir_.Sub("package.bin");
    app_test::WriteRandomFile(package_, 300 * 1024 + 5);
  }

  DownloadSettings Settings(const VendorService& service, bool stamped = true) {
    service.UseForInstaller(&env_);
    ParseCommandLine({L"channel:sig_test"});
    DownloadSettings settings = ComposeDownloadSettings();
    ParseCommandLine({});
    if (stamped) settings.package_keys = ParsePackageKeys(ReadFile(app_test::DemoPublicKeyPath()));
    return settings;
  }

  size_t Requests(const VendorService& service, const std::string& kind) const {
    return app_test::CountContaining(service.AccessLines(), "\"kind\": \"" + kind + "\"");
  }
  size_t PackageRequests(const VendorService& service) const {
    return Requests(service, "curl") + Requests(service, "");
  }

  app_test::ScopedUserEnvironment env_;
  app_test::TempDir dir_;
  std::string package_;
};

TEST_F(AppHttpDownloadSignatureTest, BothTransfersHashTheBytesTheyWrite) {
  VendorService service({"--package", package_});
  const std::string url = service.package_base_url() + "&channel=c";
  const std::string target = dir_.Sub("target");
  {
    Sha256Hasher hasher;
    HttpClient client;
    ASSERT_EQ(client.DownloadToFile(url + "&donwloadtype=curl", target, &hasher), 0);
    EXPECT_EQ(DigestHex(hasher.Finish()), Sha256sum(package_));
  }
  {
    Sha256Hasher hasher;
    ASSERT_EQ(DesktopTransfer(url, target, 60, &hasher), 0);
    EXPECT_EQ(DigestHex(hasher.Finish()), Sha256sum(package_));
  }
  // The service's signature of the package; a body as long as a package is
  // refused as it arrives.
  HttpClient client;
  std::string body;
  EXPECT_EQ(client.FetchText(url + "&donwloadtype=sig", kMaxSignatureBodyBytes, &body), 0);
  EXPECT_TRUE(PackageSignatureMatches(ParsePackageKeys(ReadFile(app_test::DemoPublicKeyPath())),
                                      DigestOf(ReadFile(package_)), body))
      << body;
  EXPECT_EQ(client.FetchText(url, kMaxSignatureBodyBytes, &body), CURLE_WRITE_ERROR);
  EXPECT_TRUE(body.empty());
}

TEST_F(AppHttpDownloadSignatureTest, SignedPackageIsKeptAfterOneSignatureRequest) {
  VendorService service({"--package", package_});
  const DownloadSettings settings = Settings(service);
  EXPECT_EQ(SignatureAddress(settings), settings.download_address + L"&donwloadtype=sig");
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.retries, 0);
  EXPECT_EQ(ReadFile(Narrow(settings.package_path)), ReadFile(package_));
  EXPECT_EQ(Requests(service, DesktopRoute() ? "" : "curl"), 1u);
  EXPECT_EQ(PackageRequests(service), 1u);
  EXPECT_EQ(Requests(service, "sig"), 1u);
}

TEST_F(AppHttpDownloadSignatureTest, EveryForgeryFailsFivePassesWithCodeThree) {
  for (const char* tamper :
       {"flip-byte", "foreign-signature", "unknown-key", "no-signature", "garbage-signature"}) {
    VendorService service({"--package", package_, "--tamper", tamper});
    ASSERT_TRUE(service.ok()) << tamper;
    const DownloadSettings settings = Settings(service);
    const std::string path = Narrow(settings.package_path);
    const DownloadOutcome outcome = RunDownloadPasses(settings);
    EXPECT_EQ(outcome.code, kResultPackageNotSigned) << tamper;
    EXPECT_EQ(outcome.retries, kDownloadPasses) << tamper;
    EXPECT_FALSE(FileExists(path)) << tamper;
    EXPECT_TRUE(app_test::FolderEntries(path.substr(0, path.rfind('/'))).empty()) << tamper;
    // Each pass delivered a package, then asked for its signature.
    EXPECT_EQ(PackageRequests(service), 5u) << tamper;
    EXPECT_EQ(Requests(service, DesktopRoute() ? "" : "curl"), 5u) << tamper;
    EXPECT_EQ(Requests(service, "sig"), 5u) << tamper;
    const EventData data = DownloadRecordData(outcome);
    EXPECT_EQ(data.at(L"ret"), L"3") << tamper;
    EXPECT_EQ(data.at(L"retryTime"), L"5") << tamper;
    EXPECT_EQ(data.count(L"fileSize"), 0u) << tamper;
  }
}

TEST_F(AppHttpDownloadSignatureTest, SignatureAfterRedirectsIsFollowedAsThePackageIs) {
  VendorService service({"--package", package_, "--signature-redirect", "--redirect"});
  const DownloadSettings settings = Settings(service);
  ASSERT_EQ(RunDownloadPasses(settings).code, 0);
  EXPECT_EQ(ReadFile(Narrow(settings.package_path)), ReadFile(package_));
  const std::vector<std::string> access = service.AccessLines();
  EXPECT_EQ(app_test::CountContaining(access, "\"location\": \"/sig/sig_test\""), 1u);
  EXPECT_EQ(app_test::CountContaining(access, "\"path\": \"/sig/sig_test\""), 1u);
}

TEST_F(AppHttpDownloadSignatureTest, WithoutKeysNoSignatureIsAskedFor) {
  VendorService service({"--package", package_, "--tamper", "no-signature"});
  const DownloadSettings settings = Settings(service, /*stamped=*/false);
  EXPECT_FALSE(settings.package_keys.stamped);
  const DownloadOutcome outcome = RunDownloadPasses(settings);
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.file_size, 300 * 1024 + 5);
  EXPECT_EQ(Requests(service, "sig"), 0u);
}

TEST_F(AppHttpDownloadSignatureTest, StampWithoutUsableKeyRefusesEveryPackage) {
  VendorService service({"--package", package_});
  DownloadSettings settings = Settings(service);
  settings.package_keys = ParsePackageKeys("a key that was cut off: -----BEGIN PUBLIC KEY-----");
  ASSERT_TRUE(settings.package_keys.stamped);
  EXPECT_EQ(RunDownloadPasses(settings).code, kResultPackageNotSigned);
  EXPECT_FALSE(FileExists(Narrow(settings.package_path)));
}

}  // namespace
}  // namespace corvane
