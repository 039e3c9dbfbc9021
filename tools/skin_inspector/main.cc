// skin_inspector: lays a skin file out headlessly, paints it to a PNG and
// prints the control tree, so skins can be checked without the installer.
// With --show it opens the skin in a real window; --watch rebuilds that window
// whenever a file of the skin folder changes.

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/main_thread.h"
#include "app/system/embedded_resource.h"
#include "base/string_util.h"
#include "tools/skin_inspector/inspector.h"
#include "ui/builder/window_builder.h"
#include "ui/control/combo.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/image/image_cache.h"
#include "ui/native/headless_window.h"
#include "ui/render/render.h"

namespace inspector {

namespace {

constexpr char kUsage[] =
    "usage: skin_inspector (--resources DIR | --installer FILE) [options] SKIN\n"
    "  --resources DIR   folder holding themes/ and lang/ (e.g. resources)\n"
    "  --installer FILE  read the skin archive embedded in an installer binary\n"
    "  --theme NAME      theme folder (default themes/default)\n"
    "  --lang NAME       language folder (default lang/zh_CN)\n"
    "  --scale PERCENT   DPI scale: 100, 125, 150 ... (default 100)\n"
    "  --size WxH        window size in pixels, shadow included (default: the skin's own\n"
    "                    size)\n"
    "  --png FILE        write the painted window here\n"
    "  --set NAME ATTR=VALUE  apply one attribute to the named control after building\n"
    "                    (repeatable; e.g. --set customizebar visible=true)\n"
    "  --tab N           move the keyboard focus N stops on, as N presses of Tab do:\n"
    "                    the picture shows its focus ring, the tree names it\n"
    "  --show            open the skin in a real window (theme and scale follow the\n"
    "                    desktop's DPI unless --theme/--scale are given)\n"
    "  --watch           with --show: rebuild when a file of the skin folder changes\n"
    "  SKIN              skin file under the theme, e.g. basic/basic.xml\n";

std::set<std::string>& MissingImages() {
  static std::set<std::string> missing;
  return missing;
}

bool ParseSize(const std::string& text, ui::CSize* size) {
  int w = 0;
  int h = 0;
  if (std::sscanf(text.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 16384 ||
      h > 16384) {
    return false;
  }
  *size = ui::CSize(w, h);
  return true;
}

// The global resources as the installer sets them up, at a chosen scale.
bool InitResources(const Options& o) {
  std::wstring base;
  if (!o.installer.empty()) {
    std::optional<std::string> theme = corvane::ReadProgramResource(o.installer, "THEME");
    if (!theme) {
      std::fprintf(stderr, "skin_inspector: no skin archive in %s\n", o.installer.c_str());
      return false;
    }
    if (!ui::GlobalManager::OpenArchive(theme->data(), theme->size(), "")) {
      std::fprintf(stderr, "skin_inspector: the skin archive of %s cannot be opened\n",
                   o.installer.c_str());
      return false;
    }
    base = L"resources/";
  } else {
    base = nbase::UTF8ToWide(o.resources) + L"/";
  }
  ui::GlobalManager::SetRenderFactory(ui::CreateRenderFactory());
  // Missing pictures are silent when painting; the inspector lists them.
  ui::GlobalManager::SetImageLoader([loader = ui::MakeSkinImageLoader()](const std::wstring& path) {
    std::shared_ptr<ui::ImageInfo> image = loader(path);
    if (!image) MissingImages().insert(nbase::WideToUTF8(path));
    return image;
  });
  ui::GlobalManager::SetResourceRoot(base + nbase::UTF8ToWide(o.theme));
  ui::GlobalManager::SetAdaptDPI(true);
  ui::GlobalManager::SetDPIScale(o.scale);
  ui::WindowBuilder().Build(L"global.xml");
  const std::wstring strings =
      nbase::NormalizePathSeparators(base + nbase::UTF8ToWide(o.lang) + L"/gdstrings.ini");
  if (ui::GlobalManager::IsUseZip()) {
    if (std::optional<std::string> data = ui::GlobalManager::ReadArchiveEntry(strings)) {
      ui::GlobalManager::LoadLanguageData(*data);
    }
  } else {
    ui::GlobalManager::LoadLanguageFile(strings);
  }
  return true;
}

std::string TypeName(const ui::Control& control) {
  const char* mangled = typeid(control).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  if (name.rfind("ui::", 0) == 0) name.erase(0, 4);
  // Controls shared by a plain and a box flavour are templates; print the
  // skin tag instead ("Label", "LabelBox").
  const size_t t = name.find("Template<ui::");
  if (t != std::string::npos) {
    const bool box = name.compare(t + 13, 3, "Box") == 0;
    name = name.substr(0, t) + (box ? "Box" : "");
  }
  return name;
}

void PrintTree(ui::Control* control, int depth) {
  const ui::UiRect r = control->GetPos();
  std::printf("%*s%s \"%s\" (%d,%d,%d,%d) %s\n", depth * 2, "", TypeName(*control).c_str(),
              control->GetUtf8Name().c_str(), r.left, r.top, r.right, r.bottom,
              control->IsVisible() ? "visible" : "hidden");
  if (auto* combo = dynamic_cast<ui::Combo*>(control)) {
    // The drop-down list lives beside the tree until it opens.
    PrintTree(combo->GetListBox(), depth + 1);
  }
  if (auto* box = dynamic_cast<ui::Box*>(control)) {
    for (ui::Control* child : box->GetItems()) PrintTree(child, depth + 1);
  }
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args) {
  Options o;
  const size_t count = args.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string& arg = args[i];
    const bool has_value = i + 1 < count;
    if (arg == "--resources" && has_value) {
      o.resources = args[++i];
    } else if (arg == "--installer" && has_value) {
      o.installer = args[++i];
    } else if (arg == "--theme" && has_value) {
      o.theme = args[++i];
      o.theme_given = true;
    } else if (arg == "--lang" && has_value) {
      o.lang = args[++i];
    } else if (arg == "--scale" && has_value) {
      o.scale = std::atoi(args[++i].c_str());
      if (o.scale < 25 || o.scale > 400) return std::nullopt;
      o.scale_given = true;
    } else if (arg == "--show") {
      o.show = true;
    } else if (arg == "--watch") {
      o.watch = true;
    } else if (arg == "--size" && has_value) {
      if (!ParseSize(args[++i], &o.size)) return std::nullopt;
    } else if (arg == "--png" && has_value) {
      o.png = args[++i];
    } else if (arg == "--tab" && has_value) {
      o.tabs = std::atoi(args[++i].c_str());
      if (o.tabs < 1 || o.tabs > 1000) return std::nullopt;
    } else if (arg == "--set" && i + 2 < count) {
      const std::string name = args[++i];
      const std::string pair = args[++i];
      const size_t eq = pair.find('=');
      if (name.empty() || eq == std::string::npos || eq == 0) return std::nullopt;
      o.settings.push_back({name, pair.substr(0, eq), pair.substr(eq + 1)});
    } else if (!arg.empty() && arg[0] != '-' && o.skin.empty()) {
      o.skin = arg;
    } else {
      return std::nullopt;
    }
  }
  if (o.skin.empty() || o.resources.empty() == o.installer.empty()) return std::nullopt;
  if (o.watch && (!o.show || o.resources.empty())) return std::nullopt;
  return o;
}

int Inspect(const Options& o) {
  if (!InitResources(o)) return 1;

  auto native = std::make_unique<ui::HeadlessWindow>();
  ui::HeadlessWindow* headless = native.get();
  native->Create(nullptr, L"skin_inspector", ui::UiRect(0, 0, 600, 400), false);
  auto window = std::make_unique<ui::Window>();
  // No fade-in: the picture shows the settled window.
  window->SetLayered(false);
  if (!window->Init(std::move(native))) {
    std::fprintf(stderr, "skin_inspector: no render context\n");
    return 1;
  }
  window->SetResourcePath(SkinFolder(o.skin));

  ui::WindowBuilder builder;
  ui::Control* root = builder.Build(nbase::UTF8ToWide(o.skin), {}, window.get());
  if (!root) {
    const ui::MarkupDocument* markup = builder.GetMarkup();
    std::fprintf(stderr, "skin_inspector: cannot build %s: %s %s\n", o.skin.c_str(),
                 nbase::WideToUTF8(markup->GetLastErrorMessage()).c_str(),
                 nbase::WideToUTF8(markup->GetLastErrorLocation()).c_str());
    return 1;
  }
  // The picture is the whole window, shadow included: what a desktop shows.
  root = window->AttachShadow(root);
  window->AttachDialog(root);
  for (const Options::Setting& setting : o.settings) {
    ui::Control* control = window->FindControl(nbase::UTF8ToWide(setting.name));
    if (!control) {
      std::fprintf(stderr, "skin_inspector: no control named %s\n", setting.name.c_str());
      return 1;
    }
    control->SetAttribute(nbase::UTF8ToWide(setting.attribute), nbase::UTF8ToWide(setting.value));
  }
  // Tab presses, as a user makes them once the window is open.
  for (int i = 0; i < o.tabs; ++i) window->MoveFocus(true);
  ui::CSize size = o.size;
  if (size.cx == 0) size = window->GetSkinAttributes().init_size;
  if (size.cx <= 0 || size.cy <= 0) size = ui::CSize(600, 400);
  headless->SetWindowRect(ui::UiRect(0, 0, size.cx, size.cy), false);
  headless->PaintAll();
  headless->RunPendingTasks();

  // An auto-sized root has resized the window to its content by now.
  size = headless->GetClientSize();
  if (o.show) {
    // A window of a skin that misses pictures would hide the fault.
    for (const std::string& path : MissingImages()) {
      std::fprintf(stderr, "skin_inspector: missing image %s\n", path.c_str());
    }
    return MissingImages().empty() ? 0 : 1;
  }
  std::printf("%s at %d%%, %dx%d\n", o.skin.c_str(), o.scale, size.cx, size.cy);
  PrintTree(root, 0);
  if (ui::Control* focus = window->GetFocus())
    std::printf("focus %s\n", focus->GetUtf8Name().c_str());
  if (!o.png.empty() && !headless->WritePng(o.png)) {
    std::fprintf(stderr, "skin_inspector: cannot write %s\n", o.png.c_str());
    return 1;
  }
  return 0;
}

void InspectorWindow::InitWindow() {
  if (auto* box = dynamic_cast<ui::Box*>(GetRoot())) {
    box->AttachBubbledEvent(ui::kEventClick, [](const ui::EventArgs& event) {
      std::printf("click %s\n", event.sender ? event.sender->GetUtf8Name().c_str() : "");
      std::fflush(stdout);
      return true;
    });
  }
}

void InspectorWindow::OnInitLayout() {
  ui::WindowImplBase::OnInitLayout();
  const ui::UiRect r = GetNativeWindow()->GetWindowRect();
  std::printf("shown %dx%d at %d,%d scale %d\n", r.GetWidth(), r.GetHeight(), r.left, r.top,
              ui::GlobalManager::GetDPIScale());
  std::fflush(stdout);
}

void InspectorWindow::OnFinalMessage() {
  std::function<void()> on_gone = std::move(on_gone_);
  ui::WindowImplBase::OnFinalMessage();  // deletes this
  if (on_gone) on_gone();
}

std::wstring SkinFolder(const std::string& skin) {
  const size_t slash = skin.find_last_of('/');
  return nbase::UTF8ToWide(slash == std::string::npos ? "" : skin.substr(0, slash + 1));
}

std::wstring SkinFile(const std::string& skin) {
  const size_t slash = skin.find_last_of('/');
  return nbase::UTF8ToWide(slash == std::string::npos ? skin : skin.substr(slash + 1));
}

Preview::~Preview() {
  if (window_) {
    window_->Forget();
    window_->GetNativeWindow()->Destroy();
  }
}

bool Preview::Build(const ui::UiRect* place, std::wstring* error) {
  // A window that closes itself (its skin's close button) deletes itself:
  // the preview forgets it before anything calls into it again.
  auto* window = new InspectorWindow(SkinFolder(o_.skin), SkinFile(o_.skin), [this] {
    window_ = nullptr;
    if (on_closed_) on_closed_();
  });
  window->SetDeleteOnFinal(true);
  const ui::UiRect rect = place ? *place : ui::UiRect(0, 0, 600, 400);
  if (!window->Create(nullptr, L"skin_inspector: " + nbase::UTF8ToWide(o_.skin), rect)) {
    *error = window->GetLastError();
    delete window;
    return false;
  }
  if (place) {
    ui::NativeWindow* native = window->GetNativeWindow();
    const ui::UiRect r = native->GetWindowRect();
    native->SetWindowRect(
        ui::UiRect(place->left, place->top, place->left + r.GetWidth(), place->top + r.GetHeight()),
        false);
  } else {
    window->CenterWindow();
  }
  if (window_) {
    window_->Forget();
    window_->GetNativeWindow()->Destroy();
  }
  window_ = window;
  return true;
}

bool Preview::Open() {
  std::wstring error;
  if (!Build(nullptr, &error)) {
    std::fprintf(stderr, "skin_inspector: %s\n", nbase::WideToUTF8(error).c_str());
    return false;
  }
  window_->ShowWindow(true, true);
  return true;
}

bool Preview::Rebuild(std::wstring* error) {
  place_ = window_ ? window_->GetNativeWindow()->GetWindowRect() : place_;
  if (!Build(&place_, error)) {
    std::fprintf(stderr, "skin_inspector: %s\n", nbase::WideToUTF8(*error).c_str());
    std::printf("error %s\n", nbase::WideToUTF8(*error).c_str());
    std::fflush(stdout);
    return false;
  }
  window_->ShowWindow(true, false);
  std::printf("rebuilt\n");
  std::fflush(stdout);
  return true;
}

void ApplyDesktopDpi(Options* o, int dpi) {
  if (!o->theme_given) o->theme = nbase::WideToUTF8(corvane::ThemeFolderForDpi(dpi));
  if (!o->scale_given) o->scale = dpi * 100 / 96;
  std::printf("theme %s scale %d\n", o->theme.c_str(), o->scale);
  std::fflush(stdout);
}

}  // namespace inspector

int main(int argc, char** argv) {
  const std::optional<inspector::Options> options =
      inspector::ParseOptions(inspector::ProgramArguments(argc, argv));
  if (!options) {
    std::fputs(inspector::kUsage, stderr);
    return 2;
  }
  const int result = options->show ? inspector::Show(*options) : inspector::Inspect(*options);
  ui::GlobalManager::Shutdown();
  return result;
}
