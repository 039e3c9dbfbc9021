#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/install_flow.h"
#include "app/system/folder_picker.h"
#include "ui/control/button.h"
#include "ui/control/label.h"
#include "ui/control/progress.h"
#include "ui/control/rich_edit.h"
#include "ui/core/box.h"
#include "ui/host/window_impl_base.h"

namespace corvane {

// The progress counter in tenths of a percent. A value is set as given; a
// tick (0) creeps forward, slower the further it is, and while downloading
// stops at 90 % and asks for the slow-download hint.
class ProgressCounter {
 public:
  // Returns true when the hint is to be shown.
  bool Update(int value, int install_state);
  int value() const { return value_; }

 private:
  int value_ = 0;
};

// The installer's window: the welcome, installing, installed and failed
// pages of "basic/basic.xml" over the installation flow.
class CMainWindow : public ui::WindowImplBase, public InstallView {
 public:
  // A box request as the window hands it to whoever shows it.
  using MessageBoxPresenter = std::function<void(
      CMainWindow* owner, const std::wstring& content, const std::wstring& title,
      const std::wstring& confirm, const std::wstring& cancel, std::function<void(int)> on_result)>;

  CMainWindow();
  ~CMainWindow() override;

  std::wstring GetSkinFolder() override { return L"basic"; }
  std::wstring GetSkinFile() override { return L"basic.xml"; }
  std::wstring GetWindowClassName() const override { return L"MainWindow"; }
  void InitWindow() override;
  // Lets the statistics uploads held during start-up go.
  void OnFirstFrame() override;
  // Every close request ends the process at once.
  bool OnClose() override;

  // InstallView.
  void UpdateProgress(int value) override;
  void ShowInstallSuccess() override;
  void ShowInstallFailure(const std::wstring& message) override;
  void ShowMessageBox(const std::wstring& content, const std::wstring& title,
                      const std::wstring& confirm, const std::wstring& cancel,
                      std::function<void(int)> on_result) override;
  void CloseWindow() override;

  InstallFlow& flow() { return *flow_; }
  int progress_counter() const { return counter_.value(); }
  bool customize_bar_expanded() const { return bar_expanded_; }
  // Whether all twelve controls of the skin were found.
  bool controls_complete() const { return controls_complete_; }

  // Who shows boxes (the message box of the window by default).
  void set_message_box_presenter(MessageBoxPresenter presenter) {
    presenter_ = std::move(presenter);
  }
  // The native window of the boxes (GTK when not set).
  void set_box_native_factory(std::function<std::unique_ptr<ui::NativeWindow>()> factory) {
    box_native_ = std::move(factory);
  }
  // Who asks for the install folder (the desktop's chooser by default).
  void set_folder_picker(std::unique_ptr<FolderPicker> picker) {
    folder_picker_ = std::move(picker);
  }
  // What ends the process (EndProcessNow by default).
  void set_end_process(std::function<void()> end) { end_process_ = std::move(end); }
  // The ticker's period; the installer uses 200 ms.
  static constexpr int kTickMs = 200;

 private:
  bool OnButtonClick(const ui::EventArgs& event);
  bool OnAgreementChanged(const ui::EventArgs& event);
  void ToggleCustomizeBar();
  void StartInstall();
  void Reinstall();
  void ConfirmExit();
  void BrowseInstallDir();
  void StartTicker();
  void ShowInstallingPage(ui::Control* leaving);

  std::unique_ptr<InstallFlow> flow_;
  ui::Button* install_button_ = nullptr;
  ui::Button* expand_button_ = nullptr;
  ui::Box* welcome_page_ = nullptr;
  ui::Box* installing_page_ = nullptr;
  ui::Box* installed_page_ = nullptr;
  ui::Box* failed_page_ = nullptr;
  ui::Box* download_alert_ = nullptr;
  ui::Box* customize_bar_ = nullptr;
  ui::Progress* progress_ = nullptr;
  ui::Label* progress_label_ = nullptr;
  ui::RichEdit* directory_edit_ = nullptr;
  ui::Button* exit_button_ = nullptr;
  bool controls_complete_ = false;
  bool bar_expanded_ = false;
  bool picking_folder_ = false;
  // Revoked when the installation ends, so an idle window never wakes.
  nbase::WeakCallbackFlag ticker_;
  ProgressCounter counter_;
  MessageBoxPresenter presenter_;
  std::function<void()> end_process_;
  std::function<std::unique_ptr<ui::NativeWindow>()> box_native_;
  std::unique_ptr<FolderPicker> folder_picker_;
};

}  // namespace corvane
