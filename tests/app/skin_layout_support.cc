#include "tests/app/skin_layout_support.h"

#include <fstream>
#include <sstream>

#include "ui/core/global_manager.h"
#include "ui/host/window_impl_base.h"
#include "ui/native/headless_window.h"

namespace app_test {

namespace {

class SkinWindow : public ui::WindowImplBase {
 public:
  std::wstring GetSkinFolder() override { return L"basic"; }
  std::wstring GetSkinFile() override { return L"basic.xml"; }
  std::wstring GetWindowClassName() const override { return L"SkinLayout"; }
};

}  // namespace

std::string BuiltThemeArchive() {
  std::ifstream in(CORVANE_BINARY_DIR "/resources/theme.zip", std::ios::binary);
  std::stringstream data;
  data << in.rdbuf();
  return data.str();
}

std::optional<std::pair<int, int>> MainWindowControlCenter(const std::wstring& name) {
  const std::string zip = BuiltThemeArchive();
  if (zip.empty() || !ui::GlobalManager::OpenArchive(zip.data(), zip.size(), "")) {
    return std::nullopt;
  }
  ui::GlobalManager::Initialize(L"resources/", nullptr, false, L"themes/default", L"lang/zh_CN");
  std::optional<std::pair<int, int>> center;
  {
    SkinWindow window;
    window.SetDeleteOnFinal(false);
    auto native = std::make_unique<ui::HeadlessWindow>();
    ui::HeadlessWindow* headless = native.get();
    headless->SetAlphaChannel(false);
    if (window.Create(nullptr, L"layout", ui::UiRect(), true, std::move(native))) {
      window.ShowWindow(true, false);
      headless->RunPendingTasks();
      headless->PaintAll();
      if (ui::Control* control = window.FindControl(name)) {
        const ui::UiRect r = control->GetPos();
        center = std::make_pair((r.left + r.right) / 2, (r.top + r.bottom) / 2);
      }
      headless->Destroy();
    }
  }
  ui::GlobalManager::Shutdown();
  return center;
}

}  // namespace app_test
