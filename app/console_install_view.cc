#include "app/console_install_view.h"

#include <cstdio>

#include "app/installer_constants.h"
#include "app/system/process.h"
#include "base/framework_thread.h"
#include "base/string_util.h"

namespace corvane {

namespace {

void Say(const std::wstring& text) {
  std::printf("corvane-installer: %s\n", nbase::WideToUTF8(text).c_str());
  std::fflush(stdout);
}

}  // namespace

void ConsoleInstallView::UpdateProgress(int value) {
  Say(nbase::StringPrintf(L"正在安装，请不要关闭：%d%%", value / 10));
}

void ConsoleInstallView::ShowInstallSuccess() {
  Say(L"安装成功 (" + (flow_ ? flow_->install_directory() : std::wstring()) + L")");
  if (flow_) flow_->StartProduct();
}

void ConsoleInstallView::ShowInstallFailure(const std::wstring& message) {
  Say(L"安装失败: " + message);
  failed_ = true;
  CloseWindow();
}

void ConsoleInstallView::ShowMessageBox(const std::wstring& content, const std::wstring& title,
                                        const std::wstring& /*confirm*/, const std::wstring& cancel,
                                        std::function<void(int)> on_result) {
  Say(title + L": " + content + L" -> " + cancel);
  nbase::ThreadRegistry::PostTaskToThread(kThreadUi, [on_result] { on_result(1); });
}

void ConsoleInstallView::CloseWindow() {
  Say(L"bye");
  // Unattended callers read the outcome from the exit status.
  corvane::EndProcessNow(failed_ ? kExitFailed : kExitInstalled);
}

std::unique_ptr<InstallFlow> BeginUnattendedInstall(ConsoleInstallView* console) {
  auto flow = std::make_unique<InstallFlow>(console);
  console->set_flow(flow.get());
  if (!flow->settings().package_keys.stamped) {
    std::fputs(
        "corvane-installer: no vendor key is stamped in; the package's authenticity is not "
        "checked\n",
        stderr);
    std::fflush(stderr);
  }
  flow->BeginInstall(L"Install");
  return flow;
}

}  // namespace corvane
