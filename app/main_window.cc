#include "app/main_window.h"

#include "app/installer_constants.h"
#include "app/msg_box.h"
#include "app/statistics.h"
#include "app/system/folders.h"
#include "app/system/process.h"
#include "base/framework_thread.h"
#include "base/string_util.h"
#include "ui/control/check_box.h"
#include "ui/core/global_manager.h"
#include "ui/image/image_prefetch.h"

namespace corvane {

namespace {

constexpr int kCustomizeBarHeight = 48;
// After the first frame, the statistics uploads wait this long more.
constexpr int64_t kUploadsAfterFrameMs = 100;
// With the pointer on the install button the HTTP library is loaded ahead of
// the click, and kept this long unless the click comes.
constexpr int kHttpLibraryWarmMs = 10000;

template <typename T>
T* Find(ui::Window* window, const wchar_t* name) {
  return dynamic_cast<T*>(window->FindControl(name));
}

}  // namespace

bool ProgressCounter::Update(int value, int install_state) {
  if (install_state != kInstallDownloading && install_state != kInstallRunning) return false;
  if (value != 0) {
    value_ = value;
    return false;
  }
  bool hint = false;
  if (value_ <= 200) {
    value_ += 20;
  } else if (value_ <= 600) {
    value_ += 16;
  } else {
    value_ += 8;
  }
  if (install_state == kInstallDownloading && value_ > 900) {
    value_ = 900;
    hint = true;
  }
  if (value_ > 999) value_ = 999;
  return hint;
}

CMainWindow::CMainWindow()
    : flow_(std::make_unique<InstallFlow>(this)),
      presenter_([this](CMainWindow* owner, const std::wstring& content, const std::wstring& title,
                        const std::wstring& confirm, const std::wstring& cancel,
                        std::function<void(int)> on_result) {
        ShowMsgBox(owner, std::move(on_result), content, false, title, false, confirm, false,
                   cancel, false, box_native_ ? box_native_() : nullptr);
      }),
      end_process_([] { EndProcessNow(0); }),
      folder_picker_(MakeDesktopFolderPicker()) {}

CMainWindow::~CMainWindow() = default;

void CMainWindow::OnFirstFrame() {
  // Pictures prefetched for pages not shown yet decode when they show.
  ui::DiscardPrefetchedImages();
  // The frame still has to reach the screen, which the display server does
  // beside this process: loading the HTTP library waits a little longer.
  nbase::ThreadRegistry::PostDelayedTaskToThread(
      kThreadUi, [] { ReleaseUploads(); },
      nbase::TimeDelta::FromMilliseconds(kUploadsAfterFrameMs));
}

void CMainWindow::InitWindow() {
  install_button_ = Find<ui::Button>(this, L"btn_startinstall");
  expand_button_ = Find<ui::Button>(this, L"btn_expand");
  welcome_page_ = Find<ui::Box>(this, L"welcompage");
  installing_page_ = Find<ui::Box>(this, L"installpage");
  installed_page_ = Find<ui::Box>(this, L"installedpage");
  failed_page_ = Find<ui::Box>(this, L"installfaildpage");
  download_alert_ = Find<ui::Box>(this, L"downloadAlert");
  customize_bar_ = Find<ui::Box>(this, L"customizebar");
  progress_ = Find<ui::Progress>(this, L"progress_install");
  progress_label_ = Find<ui::Label>(this, L"progress_install_value");
  directory_edit_ = Find<ui::RichEdit>(this, L"edit_installdir");
  exit_button_ = Find<ui::Button>(this, L"btn_exit");
  controls_complete_ = install_button_ && expand_button_ && welcome_page_ && installing_page_ &&
                       installed_page_ && failed_page_ && download_alert_ && customize_bar_ &&
                       progress_ && progress_label_ && directory_edit_ && exit_button_;
  // A skin without the pages cannot be driven; the start-up reports it.
  if (!controls_complete_) return;

  for (const wchar_t* name :
       {L"btn_useragreement", L"btn_customize", L"btn_changeinstallpath", L"btn_startapp",
        L"btn_reinstall", L"btn_redownload", L"btn_downloadOfflinePackage", L"btn_expand",
        L"btn_exit", L"btn_startinstall"}) {
    if (ui::Control* button = FindControl(name)) {
      button->AttachEvent(ui::kEventClick, MakeWeakCallback([this](const ui::EventArgs& event) {
                            return OnButtonClick(event);
                          }));
    }
  }
  install_button_->AttachEvent(ui::kEventMouseEnter, [](const ui::EventArgs&) {
    WarmUpHttpLibrary(kHttpLibraryWarmMs);
    return true;
  });
  directory_edit_->SetText(flow_->install_directory());
  if (ui::Control* agreement = FindControl(L"checkbox_agreement")) {
    auto changed =
        MakeWeakCallback([this](const ui::EventArgs& event) { return OnAgreementChanged(event); });
    agreement->AttachEvent(ui::kEventSelect, changed);
    agreement->AttachEvent(ui::kEventUnSelect, changed);
  }
}

bool CMainWindow::OnButtonClick(const ui::EventArgs& event) {
  const std::wstring& name = event.sender->GetName();
  if (name == L"btn_useragreement") {
    flow_->OpenAgreementPage();
  } else if (name == L"btn_customize" || name == L"btn_expand") {
    ToggleCustomizeBar();
  } else if (name == L"btn_startinstall") {
    StartInstall();
  } else if (name == L"btn_changeinstallpath") {
    BrowseInstallDir();
  } else if (name == L"btn_startapp") {
    flow_->StartProduct();
  } else if (name == L"btn_reinstall") {
    Reinstall();
  } else if (name == L"btn_exit") {
    ConfirmExit();
  } else if (name == L"btn_redownload" || name == L"btn_downloadOfflinePackage") {
    flow_->OpenOfflinePackagePage();
  }
  return true;
}

bool CMainWindow::OnAgreementChanged(const ui::EventArgs& event) {
  auto* box = dynamic_cast<ui::CheckBoxTemplate<ui::Control>*>(event.sender);
  install_button_->SetEnabled(box && box->IsSelected());
  return true;
}

void CMainWindow::ToggleCustomizeBar() {
  const int scale = ui::GlobalManager::IsAdaptDPI() ? ui::GlobalManager::GetDPIScale() : 100;
  int d = scale * kCustomizeBarHeight / 100;
  if (bar_expanded_) {
    customize_bar_->SetFadeVisible(false);
    expand_button_->SetBkImage(L"icon_down.png");
    d = -d;
  } else {
    customize_bar_->SetFadeVisible(true);
    expand_button_->SetBkImage(L"icon_up.png");
  }
  bar_expanded_ = !bar_expanded_;
  if (ui::NativeWindow* native = GetNativeWindow()) {
    ui::UiRect rect = native->GetWindowRect();
    rect.bottom += d;
    native->SetWindowRect(rect, true);
  }
}

void CMainWindow::ShowInstallingPage(ui::Control* leaving) {
  leaving->SetFadeVisible(false);
  exit_button_->SetFadeVisible(false);
  installing_page_->SetFadeVisible(true);
}

void CMainWindow::StartInstall() {
  if (flow_->install_state() != kInstallNothing) return;
  if (bar_expanded_) ToggleCustomizeBar();
  ShowInstallingPage(welcome_page_);
  flow_->BeginInstall(L"Install");
  StartTicker();
}

void CMainWindow::StartTicker() {
  // The ticker runs while the installation does: an end page stops it, so
  // the idle window never wakes, and a reinstall starts it again.
  ticker_.Cancel();
  nbase::ThreadRegistry::PostRepeatingTask(ticker_.MakeWeakCallback([this] { UpdateProgress(0); }),
                                           kThreadUi, nbase::TimeDelta::FromMilliseconds(kTickMs),
                                           -1);
}

void CMainWindow::BrowseInstallDir() {
  if (picking_folder_ || !folder_picker_ || flow_->install_state() != kInstallNothing) return;
  picking_folder_ = folder_picker_->Pick(
      GetNativeWindow(), "请选择安装路径", ProgramFilesFolder(),
      MakeWeakCallback([this](std::optional<std::string> folder) {
        picking_folder_ = false;
        if (!folder) return;
        flow_->set_install_directory(nbase::NativePathToWide(ProductFolderUnder(*folder)));
        directory_edit_->SetText(flow_->install_directory());
      }));
}

void CMainWindow::Reinstall() {
  if (flow_->install_state() != kInstallFailed) return;
  ShowInstallingPage(failed_page_);
  flow_->BeginInstall(L"ReInstall");
  StartTicker();
}

void CMainWindow::ConfirmExit() {
  ShowMessageBox(nbase::StringPrintf(L"您确定要退出 \"%ls\" 安装程序吗？", kDisplayName), L"提示",
                 L"确定", L"取消", MakeWeakCallback([this](int result) {
                   if (result == 0) Close(kIdOk);
                 }));
}

void CMainWindow::UpdateProgress(int value) {
  const int state = flow_->install_state();
  if (state != kInstallDownloading && state != kInstallRunning) return;
  if (counter_.Update(value, state)) download_alert_->SetFadeVisible(true);
  const int percent = counter_.value() / 10;
  progress_->SetValue(percent);
  progress_label_->SetText(nbase::StringPrintf(L"正在安装，请不要关闭：%d%%", percent));
}

void CMainWindow::ShowInstallSuccess() {
  ticker_.Cancel();
  installing_page_->SetFadeVisible(false);
  installed_page_->SetFadeVisible(true);
  exit_button_->SetFadeVisible(true);
  ActiveWindow();
}

void CMainWindow::ShowInstallFailure(const std::wstring& /*message*/) {
  ticker_.Cancel();
  installing_page_->SetFadeVisible(false);
  failed_page_->SetFadeVisible(true);
  exit_button_->SetFadeVisible(true);
  ActiveWindow();
}

void CMainWindow::ShowMessageBox(const std::wstring& content, const std::wstring& title,
                                 const std::wstring& confirm, const std::wstring& cancel,
                                 std::function<void(int)> on_result) {
  presenter_(this, content, title, confirm, cancel, std::move(on_result));
}

void CMainWindow::CloseWindow() {
  Close(kIdOk);
}

bool CMainWindow::OnClose() {
  end_process_();
  return true;
}

}  // namespace corvane
