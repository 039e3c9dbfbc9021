// A screen reader's view of the Windows installer under Wine: msaa_client.exe
// (a program of its own that knows only oleacc and the win events) finds the
// controls by name and role, reads them and installs by default actions
// alone, as the Linux accessibility test does through the ATK bus.

#include <sys/wait.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

// MSAA's roles and the checked state bit (oleacc.h).
constexpr int kRolePushButton = 43;
constexpr int kRoleCheckButton = 44;
constexpr int kRoleProgressBar = 48;
constexpr unsigned long kStateChecked = 0x10;

class WindowsAccessibilityE2eTest : public InstallerE2eTest {
 protected:
  WindowsAccessibilityE2eTest() : InstallerE2eTest(Target::kWindows) {}

  bool StartClient() {
    client_.PipeInput();
    // It says "ready" once it listens for commands.
    return client_.Start(target_.ProgramAt(target_.dir + "/tests/msaa_client.exe").Command()) &&
           client_.WaitForLine("ready", 30000).has_value();
  }
  // One command and its answer line ("ok ..." or "err ...").
  std::string Ask(const std::string& command) {
    if (!client_.WriteInput(command + "\n")) return "err the client is gone";
    return client_.WaitForLine("", 15000).value_or("err no answer");
  }
  // The answer's text after "ok ", or nullopt for an error.
  std::optional<std::string> Value(const std::string& command) {
    const std::string answer = Ask(command);
    if (answer.rfind("ok", 0) != 0) return std::nullopt;
    return answer.size() > 3 ? answer.substr(3) : std::string();
  }
  bool Checked(const std::string& key) {
    const std::optional<std::string> state = Value("get " + key + " state");
    return state && (std::stoul(*state, nullptr, 16) & kStateChecked) != 0;
  }
  // Finds `name` with `role` under the root as `key`, for up to `timeout_ms`.
  bool FindWithin(const std::string& key, int role, const std::string& name, int timeout_ms) {
    for (int waited = 0; waited <= timeout_ms; waited += 100) {
      if (Ask("find " + key + " " + std::to_string(role) + " " + name) == "ok") return true;
      window_driver::SleepMs(100);
    }
    return false;
  }

  ui::ChildProcess client_;
};

TEST_F(WindowsAccessibilityE2eTest, AScreenReaderFindsReadsAndInstallsByActionsAlone) {
  // The package comes after 2 s: time for the progress to creep.
  StartService({"--delay", "2"});
  auto installer = StartInstaller();
  std::optional<TopLevel> window = WelcomeWindow(*installer);
  ASSERT_TRUE(window) << installer->errors();
  ASSERT_TRUE(StartClient());
  const std::string found = Ask("window " + window->title);
  ASSERT_EQ(found.rfind("ok ", 0), 0u)
      << found << " (the window titled " << window->title << ")" << client_.GetStderr();
  const std::optional<std::string> hwnd = found.substr(3);
  // "ok" and the number of the root's children.
  const std::string attached = Ask("attach " + *hwnd);
  ASSERT_EQ(attached.rfind("ok ", 0), 0u) << attached;

  ASSERT_TRUE(FindWithin("install", kRolePushButton, "立即安装", 5000));
  EXPECT_EQ(Value("get install name"), "立即安装");
  ASSERT_TRUE(FindWithin("agreement", kRoleCheckButton, "我已阅读并同意", 1000));
  // Checked from the start; its action unchecks it and checks it again.
  EXPECT_TRUE(Checked("agreement"));
  ASSERT_EQ(Ask("do agreement"), "ok");
  for (int i = 0; i < 50 && Checked("agreement"); ++i) window_driver::SleepMs(100);
  EXPECT_FALSE(Checked("agreement"));
  ASSERT_EQ(Ask("do agreement"), "ok");
  for (int i = 0; i < 50 && !Checked("agreement"); ++i) window_driver::SleepMs(100);
  ASSERT_TRUE(Checked("agreement"));

  ASSERT_EQ(Ask("do install"), "ok");
  ASSERT_TRUE(FindWithin("progress", kRoleProgressBar, "progress_install", 10000));
  // The value creeps and never goes back, until the installed page.
  std::vector<int> values;
  bool installed = false;
  for (int i = 0; i < 600 && !installed; ++i) {
    if (std::optional<std::string> value = Value("get progress value");
        value && !value->empty() && value->back() == '%') {
      values.push_back(std::stoi(*value));
    }
    installed = Ask("find start " + std::to_string(kRolePushButton) + " 立即体验") == "ok";
    if (!installed) window_driver::SleepMs(100);
  }
  ASSERT_TRUE(installed) << "the installed page never showed";
  EXPECT_GE(std::set<int>(values.begin(), values.end()).size(), 2u) << "one progress value";
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));

  ASSERT_EQ(Ask("do start"), "ok");
  ASSERT_TRUE(installer->Wait(15)) << "the start button's action did not end the installer";
  EXPECT_TRUE(WIFEXITED(installer->status()) && WEXITSTATUS(installer->status()) == 0);
  EXPECT_EQ(app_test::WaitForStartRecords(product_log()).size(), 1u);
  Ask("quit");
  EXPECT_EQ(client_.Wait(5000), 0);
}

}  // namespace
}  // namespace e2e
