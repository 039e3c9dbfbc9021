#include "tests/e2e/e2e_support.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace e2e {

namespace {

// The Windows build the Windows cases run (scripts/test builds it first).
#ifndef CORVANE_WINDOWS_BINARY_DIR
#define CORVANE_WINDOWS_BINARY_DIR CORVANE_SOURCE_DIR "/build-win"
#endif

ui::XServer* Server() {
  // One private server per test process, for all of its tests; ended with the process.
  static ui::XServer server;
  static const bool started = server.Start("1280x1024x24");
  return started ? &server : nullptr;
}

std::string Key(int scale, const PageState& s) {
  return std::to_string(scale) + "/" + std::to_string(static_cast<int>(s.page)) + "/" +
         std::to_string(s.percent) + "/" + std::to_string(s.slow_hint) + "/" +
         std::to_string(s.agreement) + "/" + std::to_string(s.tabs);
}

std::string FileName(std::string text) {
  for (char& c : text) {
    if (c == '/') c = '_';
  }
  return text;
}

// Runs a program to its end; true when it ended with status 0.
bool RunToEnd(const std::vector<std::string>& argv, std::string* output = nullptr) {
  ui::ChildProcess child;
  if (!child.Start(argv)) return false;
  const int status = child.Wait(60000);
  if (output) *output = child.GetStdout() + child.GetStderr();
  return status == 0;
}

// The system DPI of Wine's prefix (what GetDpiForSystem answers to
// programs started afterwards); 0 removes the setting.
bool SetWineDpi(const std::string& wine, int dpi) {
  const std::string key = "HKCU\\Control Panel\\Desktop";
  if (dpi == 0) {
    RunToEnd({wine, "reg", "delete", key, "/v", "LogPixels", "/f"});
    return true;
  }
  return RunToEnd({wine, "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                   std::to_string(dpi), "/f"});
}

}  // namespace

std::string TargetName(Target target) {
  return target == Target::kWindows ? "Windows" : "Linux";
}

std::string TargetParamName(const ::testing::TestParamInfo<Target>& info) {
  return TargetName(info.param);
}

TargetBuild TargetBuild::Of(Target target) {
  TargetBuild build;
  build.target = target;
  if (target == Target::kLinux) {
    build.dir = CORVANE_BINARY_DIR;
    build.installer = app_test::InstallerPath();
    build.installer_program = Program{build.installer, {}};
    build.inspector = Program{ui::SkinInspectorPath(), {}};
    build.demo_package = app_test::DemoPackagePath();
    build.demo_product = app_test::DemoProductPath();
    build.signing_key = app_test::DemoSigningKeyPath();
    return build;
  }
  const std::string wine = window_driver::WineLoader();
  build.dir = CORVANE_WINDOWS_BINARY_DIR;
  build.installer = build.dir + "/app/corvane-installer.exe";
  build.installer_program = Program{build.installer, wine};
  build.inspector = Program{build.dir + "/tools/skin_inspector/skin_inspector.exe", wine};
  build.demo_package = build.dir + "/tools/demo_package/corvaneInstaller.exe";
  build.demo_product = build.dir + "/tools/demo_product/corvane.exe";
  build.signing_key = build.dir + "/package-key/demo-signing-key.pem";
  return build;
}

bool TargetBuild::Available(std::string* why) const {
  for (const std::string& file :
       {installer, inspector.path, demo_package, demo_product, signing_key}) {
    if (!app_test::FileExists(file)) {
      *why = file + " is missing: build the " + TargetName(target) + " target first" +
             (target == Target::kWindows ? " (scripts/test --windows)" : "");
      return false;
    }
  }
  if (target == Target::kWindows && !RunToEnd({inspector.wine, "--version"})) {
    *why = "Wine (" + inspector.wine + ") does not run here";
    return false;
  }
  return true;
}

Program TargetBuild::ProgramAt(const std::string& path) const {
  return Program{path, inspector.wine};
}

void InstallerE2eTest::SetUp() {
  std::string why;
  if (!target_.Available(&why)) GTEST_SKIP() << why;
  ui::XServer* server = Server();
  if (!server) GTEST_SKIP() << "no private X server (Xvfb)";
  display_ = server->display();
  ASSERT_TRUE(x_.Open(display_));
  env_.Set("DISPLAY", display_);
  env_.Set("GDK_BACKEND", "x11");
  env_.Set("WAYLAND_DISPLAY", "");
  env_.Set("GIO_USE_VFS", "local");
  if (target_.target == Target::kWindows) {
    // The build's own prefix, and the persistent wineserver scripts/test
    // keeps for it when there is one.
    if (const char* prefix = std::getenv("WINEPREFIX"); !prefix || !*prefix) {
      env_.Set("WINEPREFIX", target_.dir + "/wineprefix");
    }
    env_.Set("WINEDEBUG", "-all");
    env_.Set("WINEDLLOVERRIDES", "mscoree=;mshtml=");
  }
  env_.Set("CORVANE_DEMO_PRODUCT_LOG", target_.FileName(product_log()));
  // Unique per test process: parallel suites start products of their own.
  product_name_ = "corvane-e2e-" + std::to_string(getpid()) + ".exe";
  env_.Set("CORVANE_PRODUCT_PROCESS_NAME", product_name_);
  // Short enough to show whole in the directory field.
  install_dir_ = env_.dir().Sub("Corvane");
}

void InstallerE2eTest::TearDown() {
  if (!display_.empty()) x_.Park(0);
  // Later programs of the prefix see the system's own DPI again.
  if (target_.target == Target::kWindows && scale_ != 100) SetWineDpi(target_.inspector.wine, 0);
}

void InstallerE2eTest::StartService(const std::vector<std::string>& options) {
  std::vector<std::string> all = {"--package", app_test::DemoPackagePath()};
  if (target_.target == Target::kWindows) {
    // The Windows build asks with "os=windows" and checks with its own key.
    all.insert(all.end(),
               {"--windows-package", target_.demo_package, "--signing-key", target_.signing_key});
  }
  all.insert(all.end(), options.begin(), options.end());
  service_ = std::make_unique<app_test::VendorService>(all);
  ASSERT_TRUE(service_->ok());
  service_->UseForInstaller(&env_);
  package_base_url_ = service_->package_base_url();
  if (target_.target == Target::kWindows) {
    package_base_url_ += "&os=windows";
    env_.Set("CORVANE_PACKAGE_BASE_URL", package_base_url_);
  }
}

void InstallerE2eTest::SetScale(int scale) {
  scale_ = scale;
  if (target_.target == Target::kWindows) {
    // Wine's system DPI is the prefix's setting, read when a program starts.
    EXPECT_TRUE(SetWineDpi(target_.inspector.wine, scale * 96 / 100));
    return;
  }
  // GTK takes the resolution from the Xft.dpi resource when no settings
  // daemon runs; XENVIRONMENT names a resource file for this process alone.
  const std::string resources = env_.dir().Sub("Xresources");
  std::ofstream(resources) << "Xft.dpi: " << scale * 96 / 100 << "\n";
  env_.Set("XENVIRONMENT", resources);
}

std::unique_ptr<app_test::InstallerProcess> InstallerE2eTest::StartInstaller(
    int scale, const std::vector<std::string>& extra) {
  return StartInstallerFile(target_.installer, scale, extra);
}

std::unique_ptr<app_test::InstallerProcess> InstallerE2eTest::StartInstallerFile(
    const std::string& installer_file, int scale, const std::vector<std::string>& extra) {
  SetScale(scale);
  if (installer_file != skin_source_) layouts_.clear();
  skin_source_ = installer_file;
  const Program program = target_.ProgramAt(installer_file);
  std::vector<std::string> args = {"installPath:" + install_dir_shown(), "channel:e2e"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<std::string> command = program.Command(args);
  const std::string first = command.front();
  command.erase(command.begin());
  auto installer =
      std::make_unique<app_test::InstallerProcess>(command, /*keep_display=*/true, first);
  // A warning or critical of the toolkit is a fault of the installer.
  installer->set_on_end([](const std::string& errors) {
    for (const std::string& line : app_test::ToolkitWarnings(errors)) {
      ADD_FAILURE() << "the installer printed: " << line;
    }
  });
  return installer;
}

std::optional<TopLevel> InstallerE2eTest::MainWindow(pid_t pid, int timeout_ms) {
  return x_.WaitForWindow(
      pid, [](const TopLevel& w) { return w.title.find("安装程序") != std::string::npos; },
      timeout_ms);
}

std::optional<TopLevel> InstallerE2eTest::WelcomeWindow(
    const app_test::InstallerProcess& installer) {
  std::optional<TopLevel> window = MainWindow(installer.pid());
  if (!window || !WaitForControl(*window, PageState(Page::kWelcome), "btn_startinstall", 5000)) {
    return std::nullopt;
  }
  return window;
}

std::optional<TopLevel> InstallerE2eTest::OtherWindow(pid_t pid, int timeout_ms) {
  std::optional<TopLevel> box = x_.WaitForWindow(
      pid, [](const TopLevel& w) { return w.title.find("安装程序") == std::string::npos; },
      timeout_ms);
  return box ? Settled(*box) : box;
}

std::optional<TopLevel> InstallerE2eTest::Settled(const TopLevel& window) {
  // A box fits its height to its text after it is mapped.
  std::optional<TopLevel> now = window;
  for (int still = 0, i = 0; now && still < 6 && i < 100; ++i) {
    window_driver::SleepMs(50);
    std::optional<TopLevel> next = x_.Refresh(*now);
    still = next && next->rect == now->rect ? still + 1 : 0;
    now = next;
  }
  return now;
}

std::unique_ptr<ui::ChildProcess> InstallerE2eTest::StartRunningProduct(const std::string& name) {
  const std::string product = env_.dir().Sub(name);
  std::filesystem::copy_file(target_.demo_product, product,
                             std::filesystem::copy_options::overwrite_existing);
  chmod(product.c_str(), 0755);
  auto running = std::make_unique<ui::ChildProcess>();
  const bool started = running->Start(
      target_.ProgramAt(product).Command({"--stay-ms", "120000"}),
      {{"CORVANE_DEMO_PRODUCT_LOG", target_.FileName(env_.dir().Sub("running.log"))}});
  EXPECT_TRUE(started);
  // Started once it has written its record: a snapshot now shows it.
  for (int i = 0; i < 200 && !app_test::FileExists(env_.dir().Sub("running.log")); ++i) {
    window_driver::SleepMs(25);
  }
  return running;
}

std::string InstallerE2eTest::InstallerWithTheme(const std::string& archive) {
  const std::string copy =
      env_.dir().Sub(target_.target == Target::kWindows ? "restamped.exe" : "restamped");
  std::filesystem::copy_file(target_.installer, copy,
                             std::filesystem::copy_options::overwrite_existing);
  std::string output;
  bool ok = false;
  if (target_.target == Target::kWindows) {
    // The system's own resource update, as scripts/restamp-channel does it.
    const Program tool =
        target_.ProgramAt(target_.dir + "/tools/restamp_resource/restamp_resource.exe");
    ok = RunToEnd(tool.Command({target_.FileName(copy), "THEME", "136", target_.FileName(archive)}),
                  &output);
  } else {
    ok = RunToEnd({"objcopy", "--update-section", ".rsrc.THEME=" + archive, copy}, &output);
  }
  EXPECT_TRUE(ok) << output;
  return copy;
}

const SkinLayout& InstallerE2eTest::Layout(const PageState& page) {
  const std::string& installer = skin_source_.empty() ? target_.installer : skin_source_;
  PageState state = page;
  if (state.directory.empty()) state.directory = install_dir_shown();
  const std::string key = Key(scale_, state) + "/" + state.directory;
  auto it = layouts_.find(key);
  if (it == layouts_.end()) {
    std::string error;
    std::optional<SkinLayout> layout =
        window_driver::InspectMainWindow(target_.inspector, installer, scale_, state, &error);
    EXPECT_TRUE(layout) << error;
    it = layouts_.emplace(key, layout ? std::move(*layout) : SkinLayout()).first;
  }
  return it->second;
}

int InstallerE2eTest::TabsTo(const PageState& page, const std::string& name) {
  for (int tabs = 1; tabs <= 12; ++tabs) {
    PageState state = page;
    state.tabs = tabs;
    if (Layout(state).focus() == name) return tabs;
  }
  return -1;
}

void InstallerE2eTest::PointerInto(const TopLevel& window) {
  const SkinLayout& layout = Layout(PageState(Page::kWelcome));
  const Rect root = window_driver::ToScreen(window, layout, layout.root());
  // The root's left padding, half-way down: no control reaches there.
  x_.MoveTo(root.left + 4, root.centre_y());
  window_driver::SleepMs(100);
}

const SkinLayout& InstallerE2eTest::BoxLayout() {
  if (!box_layout_) {
    std::string error;
    box_layout_ =
        window_driver::InspectMessageBox(target_.inspector, target_.installer, scale_, &error);
    EXPECT_TRUE(box_layout_) << error;
    if (!box_layout_) box_layout_ = SkinLayout();
  }
  return *box_layout_;
}

void InstallerE2eTest::ClickControl(const TopLevel& window, const SkinLayout& layout,
                                    const std::string& name) {
  const std::optional<Rect> r = layout.Find(name);
  ASSERT_TRUE(r) << "no control " << name;
  const Rect screen = window_driver::ToScreen(window, layout, *r);
  x_.Click(screen.centre_x(), screen.centre_y());
}

void InstallerE2eTest::ClickBoxButton(const TopLevel& box, const std::string& name) {
  const SkinLayout& layout = BoxLayout();
  const std::optional<Rect> r = layout.Find(name);
  ASSERT_TRUE(r) << "no control " << name;
  const bool shadow = box.rect.width() == layout.width();
  const int bottom = shadow ? layout.height() : layout.root().bottom;
  const int offset = layout.OffsetFor(box.rect.width());
  x_.Click(box.rect.left + offset + r->centre_x(), box.rect.bottom - (bottom - r->centre_y()));
}

bool InstallerE2eTest::WaitForControl(const TopLevel& window, const PageState& state,
                                      const std::string& name, int timeout_ms) {
  const SkinLayout& layout = Layout(state);
  const std::optional<Rect> r = layout.Find(name);
  if (!r) return false;
  const int offset = layout.OffsetFor(window.rect.width());
  const Picture expected =
      layout.PictureFor(window.rect.width(), window.rect.height()).Crop(r->Offset(offset, offset));
  const Rect screen = window_driver::ToScreen(window, layout, *r);
  Picture last;
  int differing = 0;
  for (int waited = 0; waited <= timeout_ms; waited += 25) {
    last = x_.Grab(screen);
    differing = window_driver::CountDiffering(last, expected, kTolerance);
    if (differing == 0) return true;
    window_driver::SleepMs(25);
  }
  // What was seen instead, beside what was awaited.
  const std::string name_of = FileName("awaited-" + name + "-" + Key(scale_, state));
  KeepShot(last, name_of + "-seen");
  KeepShot(expected, name_of + "-expected");
  ADD_FAILURE() << name << " did not show the awaited state; " << differing << " pixels differ ("
                << name_of << ")";
  return false;
}

int InstallerE2eTest::WaitForAnyOf(const TopLevel& window, const std::vector<PageState>& states,
                                   const std::string& name, int timeout_ms) {
  std::vector<std::pair<Rect, Picture>> wanted;
  for (const PageState& state : states) {
    const SkinLayout& layout = Layout(state);
    const std::optional<Rect> r = layout.Find(name);
    if (!r) return -1;
    const int offset = layout.OffsetFor(window.rect.width());
    wanted.emplace_back(window_driver::ToScreen(window, layout, *r),
                        layout.PictureFor(window.rect.width(), window.rect.height())
                            .Crop(r->Offset(offset, offset)));
  }
  for (int waited = 0; waited <= timeout_ms; waited += 25) {
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (window_driver::CountDiffering(x_.Grab(wanted[i].first), wanted[i].second, kTolerance) ==
          0) {
        return static_cast<int>(i);
      }
    }
    window_driver::SleepMs(25);
  }
  return -1;
}

bool InstallerE2eTest::WaitUntilGone(const TopLevel& window, int timeout_ms) {
  for (int waited = 0; waited <= timeout_ms; waited += 25) {
    if (!x_.Refresh(window)) return true;
    window_driver::SleepMs(25);
  }
  return false;
}

int InstallerE2eTest::CompareWithInspector(const TopLevel& window, const PageState& state,
                                           const std::string& shot_name,
                                           const std::vector<Rect>& ignore) {
  x_.Park();
  const SkinLayout& layout = Layout(state);
  const Picture expected = layout.PictureFor(window.rect.width(), window.rect.height());
  KeepShot(expected, shot_name + "-inspector");
  const int offset = layout.OffsetFor(window.rect.width());
  std::vector<Rect> moved;
  for (const Rect& r : ignore) moved.push_back(r.Offset(offset, offset));
  if (offset != 0) {
    // The root's corners are rounded (3 px, scaled) over the shadow in the
    // inspector's picture; without the shadow they blend with nothing.
    const int c = (3 * scale_ + 99) / 100;
    const int w = window.rect.width();
    const int h = window.rect.height();
    moved.insert(moved.end(),
                 {{0, 0, c, c}, {w - c, 0, w, c}, {0, h - c, c, h}, {w - c, h - c, w, h}});
  }
  // The window once settled: a page's fade may still be ending when the
  // control that tells the page shows (seen at 200 % under Wine).
  Picture shot = x_.Grab(window.rect);
  int differing = window_driver::CountDiffering(shot, expected, kTolerance, moved);
  for (int retry = 0; retry < 10 && differing != 0; ++retry) {
    window_driver::SleepMs(100);
    shot = x_.Grab(window.rect);
    differing = window_driver::CountDiffering(shot, expected, kTolerance, moved);
  }
  KeepShot(shot, shot_name);
  if (differing != 0) {
    ADD_FAILURE() << shot_name << ": "
                  << window_driver::DescribeDifference(shot, expected, kTolerance, moved);
  }
  return differing;
}

void InstallerE2eTest::KeepShot(const Picture& picture, const std::string& name) {
  // Kept in the build folder as artifacts of the run.
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::filesystem::path dir =
      std::filesystem::path(CORVANE_BINARY_DIR) / "e2e-screenshots" /
      FileName(std::string(info->test_suite_name()) + "." + info->name());
  std::filesystem::create_directories(dir);
  picture.WritePng((dir / (name + ".png")).string());
}

std::string InstallerE2eTest::RegisterFakeBrowser() {
  const std::string opened = env_.dir().Sub("opened.txt");
  const std::string browser = env_.dir().Sub("fake-browser");
  std::ofstream(browser) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << opened << "'\n";
  chmod(browser.c_str(), 0755);
  // Wine's browser bridge opens web addresses with the desktop's xdg-open.
  const std::string bin = env_.dir().Sub("bin");
  mkdir(bin.c_str(), 0700);
  std::filesystem::copy_file(browser, bin + "/xdg-open",
                             std::filesystem::copy_options::overwrite_existing);
  const char* path = std::getenv("PATH");
  env_.Set("PATH", bin + ":" + (path ? path : "/usr/bin:/bin"));
  mkdir((env_.data_home() + "/applications").c_str(), 0700);
  std::ofstream(env_.data_home() + "/applications/fake-browser.desktop")
      << "[Desktop Entry]\nType=Application\nName=Fake browser\nExec=" << browser
      << " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n";
  std::ofstream(env_.config_home() + "/mimeapps.list")
      << "[Default Applications]\nx-scheme-handler/http=fake-browser.desktop\n"
         "x-scheme-handler/https=fake-browser.desktop\n";
  return opened;
}

std::vector<std::string> OpenedAddresses(const std::string& record, size_t count) {
  std::vector<std::string> lines;
  for (int i = 0; i < 100; ++i) {
    std::ifstream in(record);
    lines.clear();
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.size() >= count) break;
    window_driver::SleepMs(50);
  }
  return lines;
}

std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    // pid (comm) state ppid: the command may hold blanks and parentheses.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == pid) {
      children.push_back(std::stoi(name));
    }
  }
  return children;
}

bool ProcessAlive(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const size_t close = line.rfind(')');
  // A zombie has ended; only its parent's wait is missing.
  return close != std::string::npos && line.size() > close + 2 && line[close + 2] != 'Z';
}

}  // namespace e2e
