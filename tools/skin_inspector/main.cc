// skin_inspector: lays a skin file out headlessly, paints it to a PNG and
// prints the control tree, so skins can be checked without the installer.

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/system/embedded_resource.h"
#include "base/string_util.h"
#include "ui/builder/window_builder.h"
#include "ui/control/combo.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/image/image_cache.h"
#include "ui/native/headless_window.h"
#include "ui/render/render_cairo.h"

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
    "  SKIN              skin file under the theme, e.g. basic/basic.xml\n";

struct Options {
  std::string resources;
  std::string installer;
  std::string theme = "themes/default";
  std::string lang = "lang/zh_CN";
  int scale = 100;
  ui::CSize size;
  std::string png;
  std::string skin;
  struct Setting {
    std::string name;
    std::string attribute;
    std::string value;
  };
  std::vector<Setting> settings;
};

bool ParseSize(const char* text, ui::CSize* size) {
  int w = 0;
  int h = 0;
  if (std::sscanf(text, "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 16384 || h > 16384) {
    return false;
  }
  *size = ui::CSize(w, h);
  return true;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--resources" && has_value) {
      o.resources = argv[++i];
    } else if (arg == "--installer" && has_value) {
      o.installer = argv[++i];
    } else if (arg == "--theme" && has_value) {
      o.theme = argv[++i];
    } else if (arg == "--lang" && has_value) {
      o.lang = argv[++i];
    } else if (arg == "--scale" && has_value) {
      o.scale = std::atoi(argv[++i]);
      if (o.scale < 25 || o.scale > 400) return std::nullopt;
    } else if (arg == "--size" && has_value) {
      if (!ParseSize(argv[++i], &o.size)) return std::nullopt;
    } else if (arg == "--png" && has_value) {
      o.png = argv[++i];
    } else if (arg == "--set" && i + 2 < argc) {
      const std::string name = argv[++i];
      const std::string pair = argv[++i];
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
  return o;
}

// The global resources as the installer sets them up, at a chosen scale.
bool InitResources(const Options& o) {
  std::wstring base;
  if (!o.installer.empty()) {
    std::optional<std::string> theme =
        corvane::ReadElfSection(o.installer, corvane::ResourceSectionName("THEME"));
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
  ui::GlobalManager::SetRenderFactory(std::make_unique<ui::RenderFactoryCairo>());
  ui::GlobalManager::SetImageLoader(ui::MakeSkinImageLoader());
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
  window->SetResourcePath(nbase::UTF8ToWide(o.skin.substr(0, o.skin.find_last_of('/') + 1)));

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
  ui::CSize size = o.size;
  if (size.cx == 0) size = window->GetSkinAttributes().init_size;
  if (size.cx <= 0 || size.cy <= 0) size = ui::CSize(600, 400);
  headless->SetWindowRect(ui::UiRect(0, 0, size.cx, size.cy), false);
  headless->PaintAll();
  headless->RunPendingTasks();

  // An auto-sized root has resized the window to its content by now.
  size = headless->GetClientSize();
  std::printf("%s at %d%%, %dx%d\n", o.skin.c_str(), o.scale, size.cx, size.cy);
  PrintTree(root, 0);
  if (!o.png.empty() && !headless->WritePng(o.png)) {
    std::fprintf(stderr, "skin_inspector: cannot write %s\n", o.png.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const int result = Inspect(*options);
  ui::GlobalManager::Shutdown();
  return result;
}
