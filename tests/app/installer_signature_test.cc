// The built installer (console view) runs only a package its vendor signed:
// the reference vendor service signs with the build's demo key, or forges on
// request; copies of the installer are re-stamped with other keys.
#include <sys/wait.h>
#include <unistd.h>

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include "tests/app/package_key_support.h"

namespace {

using app_test::InstallerProcess;
using app_test::VendorService;

constexpr int kRunSeconds = 60;
constexpr char kNotChecked[] = "the package's authenticity is not checked";

size_t Occurrences(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

class InstallerSignatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("CORVANE_DEMO_PACKAGE_COUNTER", env_.dir().Sub("package-runs"));
    env_.Set("CORVANE_DEMO_PRODUCT_LOG", env_.dir().Sub("product.log"));
    env_.Set("CORVANE_PRODUCT_PROCESS_NAME", "cs-" + std::to_string(getpid() % 1000000) + ".exe");
    // The HTTP library's route: the desktop's is covered in-process.
    env_.Set("GIO_USE_VFS", "local");
    install_dir_ = env_.dir().Sub("apps/corvane");
  }

  // Runs `program` (the built installer by default) to its end, expecting
  // exit status 0 (installed) or 1 (failed); keeps what it printed.
  void Run(const VendorService& service, int expected_status,
           const std::string& program = std::string()) {
    service.UseForInstaller(&env_);
    InstallerProcess installer({"installPath:" + install_dir_}, false, program);
    ASSERT_TRUE(installer.started());
    ASSERT_TRUE(installer.Wait(kRunSeconds)) << installer.output();
    output_ = installer.output();
    errors_ = installer.errors();
    ASSERT_TRUE(WIFEXITED(installer.status()));
    EXPECT_EQ(WEXITSTATUS(installer.status()), expected_status) << output_ << errors_;
  }

  bool PackageRan() const { return app_test::FileExists(env_.dir().Sub("package-runs")); }
  bool Installed() const { return output_.find("安装成功") != std::string::npos; }
  std::string PackageFolder() const { return env_.data_home() + "/corvane/Files"; }
  size_t Requests(const VendorService& service, const std::string& kind) const {
    return app_test::CountContaining(service.AccessLines(), "\"kind\": \"" + kind + "\"");
  }

  app_test::ScopedUserEnvironment env_;
  app_test::TempDir keys_;
  std::string install_dir_;
  std::string output_;
  std::string errors_;
};

TEST_F(InstallerSignatureTest, SignedPackageInstallsAlsoWithItsSignatureBehindARedirect) {
  for (const bool redirected : {false, true}) {
    SCOPED_TRACE(redirected ? "signature behind a redirect" : "signature answered directly");
    std::vector<std::string> options = {"--package", app_test::DemoPackagePath()};
    if (redirected) options.push_back("--signature-redirect");
    VendorService service(options);
    Run(service, 0);
    EXPECT_TRUE(Installed()) << output_;
    EXPECT_TRUE(PackageRan());
    EXPECT_EQ(Requests(service, "sig"), redirected ? 2u : 1u);
    EXPECT_EQ(errors_.find(kNotChecked), std::string::npos) << errors_;
    g_unlink(env_.dir().Sub("package-runs").c_str());
  }
}

TEST_F(InstallerSignatureTest, EveryForgeryIsRefusedWithCodeThreeAndNothingRuns) {
  for (const char* tamper :
       {"flip-byte", "foreign-signature", "unknown-key", "no-signature", "garbage-signature"}) {
    SCOPED_TRACE(tamper);
    VendorService service({"--package", app_test::DemoPackagePath(), "--tamper", tamper});
    Run(service, 1);
    EXPECT_NE(output_.find("安装失败: Download Faild errorCode:3\n"), std::string::npos) << output_;
    EXPECT_FALSE(PackageRan());
    EXPECT_FALSE(app_test::FileExists(install_dir_));
    EXPECT_TRUE(app_test::FolderEntries(PackageFolder()).empty());
    // Five passes, each a package and its signature.
    EXPECT_EQ(Requests(service, "curl"), 5u);
    EXPECT_EQ(Requests(service, "sig"), 5u);
  }
}

TEST_F(InstallerSignatureTest, StampedKeysDecideWhichPackagesRun) {
  const app_test::KeyPair other = app_test::MakeKeyPair(keys_, "other");
  const std::string demo = app_test::DemoPublicKeyPath();

  // Two keys; the package is signed with the second.
  const std::string rotated =
      app_test::StampedInstallerCopy(keys_, "rotated", {demo, other.public_pem});
  ASSERT_FALSE(rotated.empty());
  {
    VendorService service(
        {"--package", app_test::DemoPackagePath(), "--signing-key", other.private_pem});
    Run(service, 0, rotated);
    EXPECT_TRUE(Installed()) << output_;
  }

  // Re-stamped with the other key only, the same installer refuses what the
  // demo key signed; stamped back, it runs it.
  const std::string restamped =
      app_test::StampedInstallerCopy(keys_, "restamped", {other.public_pem});
  ASSERT_FALSE(restamped.empty());
  VendorService service({"--package", app_test::DemoPackagePath()});
  g_unlink(env_.dir().Sub("package-runs").c_str());
  Run(service, 1, restamped);
  EXPECT_NE(output_.find("Download Faild errorCode:3"), std::string::npos) << output_;
  EXPECT_FALSE(PackageRan());
  int status = -1;
  app_test::CommandOutput(
      {std::string(CORVANE_SOURCE_DIR) + "/scripts/restamp-key", restamped, demo}, &status);
  ASSERT_EQ(status, 0);
  Run(service, 0, restamped);
  EXPECT_TRUE(Installed()) << output_;
  EXPECT_TRUE(PackageRan());

  // The script stamps nothing that is not a P-256 public key.
  app_test::CommandOutput(
      {std::string(CORVANE_SOURCE_DIR) + "/scripts/restamp-key", restamped, other.private_pem},
      &status);
  EXPECT_NE(status, 0);
  const app_test::KeyPair p384 = app_test::MakeKeyPair(keys_, "p384", "P-384");
  app_test::CommandOutput(
      {std::string(CORVANE_SOURCE_DIR) + "/scripts/restamp-key", restamped, p384.public_pem},
      &status);
  EXPECT_NE(status, 0);
}

TEST_F(InstallerSignatureTest, WithoutKeyInstallsAsBeforeAndSaysSoOnce) {
  const std::string unkeyed = app_test::StampedInstallerCopy(keys_, "unkeyed", {});
  ASSERT_FALSE(unkeyed.empty());
  VendorService service({"--package", app_test::DemoPackagePath(), "--tamper", "no-signature"});
  Run(service, 0, unkeyed);
  EXPECT_TRUE(Installed()) << output_;
  EXPECT_EQ(Occurrences(errors_, kNotChecked), 1u) << errors_;
  EXPECT_EQ(Requests(service, "sig"), 0u);
  EXPECT_EQ(Requests(service, "curl"), 1u);
}

}  // namespace
