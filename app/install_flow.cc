#include "app/install_flow.h"

#include <cstdlib>

#include "app/command_line.h"
#include "app/endpoints.h"
#include "app/installer_constants.h"
#include "app/machine_info.h"
#include "app/package_run.h"
#include "app/system/folder_picker.h"
#include "app/system/folders.h"
#include "app/system/process.h"
#include "base/framework_thread.h"
#include "base/string_util.h"

namespace corvane {

std::wstring DefaultInstallDirectory() {
  const std::wstring from_command_line = GetCommandLineValue(L"installPath");
  if (!from_command_line.empty()) return from_command_line;
  return nbase::NativePathToWide(ProductFolderUnder(ProgramFilesFolder()));
}

std::string ProductProcessName() {
  const char* value = std::getenv("CORVANE_PRODUCT_PROCESS_NAME");
  return (value && *value) ? value : kProductExecutable;
}

InstallFlow::InstallFlow(InstallView* view)
    : view_(view),
      settings_(ComposeDownloadSettings()),
      install_directory_(DefaultInstallDirectory()),
      product_process_name_(ProductProcessName()) {}

void InstallFlow::BeginInstall(const std::wstring& click_source) {
  install_state_ = kInstallDownloading;
  view_->UpdateProgress(10);
  StartDownload();
  ReportEvent(L"OnClick", {{L"ClickSrc", click_source}});
}

void InstallFlow::StartDownload() {
  // The worker gets copies: it never reads the flow, which may be destroyed
  // on thread 0 while the download runs.
  auto finished = MakeWeakCallback(
      [this](const std::wstring& path, int code) { OnDownloadFinished(path, code); });
  nbase::ThreadRegistry::PostTaskToThread(kThreadGlobalMisc, [settings = settings_, finished] {
    const int code = DownloadPackage(settings);
    nbase::ThreadRegistry::PostTaskToThread(
        kThreadUi, [finished, path = settings.package_path, code] { finished(path, code); });
  });
}

void InstallFlow::OnDownloadFinished(const std::wstring& /*package_path*/, int code) {
  if (code != 0) {
    install_state_ = kInstallFailed;
    Fail(L"Download Faild errorCode:" + std::to_wstring(code));
    return;
  }
  view_->UpdateProgress(900);
  CheckProductRunning();
}

void InstallFlow::CheckProductRunning() {
  if (corvane::IsProcessRunning(product_process_name_)) {
    install_state_ = kInstallWaitingForProduct;
    view_->ShowMessageBox(
        nbase::StringPrintf(L"应用程序 \"%ls\" 正在运行，请关闭后重试!", kDisplayName), L"提示",
        L"重试", L"取消", MakeWeakCallback([this](int result) {
          if (result == 0) {
            CheckProductRunning();
            return;
          }
          install_state_ = kInstallFailed;
          Fail(L"User Cancel Install");
        }));
    return;
  }
  install_state_ = kInstallRunning;
  auto finished = MakeWeakCallback([this](int code) { OnInstallFinished(code); });
  nbase::ThreadRegistry::PostTaskToThread(
      kThreadGlobalMisc, [path = settings_.package_path, dir = install_directory_, finished] {
        const int code = RunPackage(path, dir);
        nbase::ThreadRegistry::PostTaskToThread(kThreadUi, [finished, code] { finished(code); });
      });
}

void InstallFlow::OnInstallFinished(int code) {
  if (code != 0) {
    install_state_ = kInstallFailed;
    Fail(L"Install Faild errorCode:" + std::to_wstring(code));
    return;
  }
  install_state_ = kInstallDone;
  Succeed();
}

void InstallFlow::Succeed() {
  WriteRegistryString(kAppInfoKey, L"Channel", settings_.channel);
  ReportEvent(L"InstallResultReport", {{L"result", L"success"}});
  view_->ShowInstallSuccess();
}

void InstallFlow::Fail(const std::wstring& message) {
  ReportEvent(L"InstallResultReport", {{L"errorMsg", message}, {L"result", L"faild"}});
  view_->ShowInstallFailure(message);
}

void InstallFlow::StartProduct() {
  LaunchProduct(install_directory_);
  view_->CloseWindow();
}

bool InstallFlow::OpenAgreementPage() {
  return OpenUrl(nbase::UTF8ToWide(AgreementUrl()));
}

bool InstallFlow::OpenOfflinePackagePage() {
  return OpenUrl(OfflinePackageAddress());
}

}  // namespace corvane
