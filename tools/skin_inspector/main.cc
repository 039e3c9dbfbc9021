// skin_inspector: lays a skin file out headlessly, paints it to a PNG and
// prints the control tree, so skins can be checked without the installer.
// With --show it opens the skin in a real window; --watch rebuilds that window
// whenever a file of the skin folder changes.

#include <cxxabi.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtk/gtk.h>

#include "app/main_thread.h"
#include "app/system/embedded_resource.h"
#include "base/string_util.h"
#include "ui/builder/window_builder.h"
#include "ui/control/combo.h"
#include "ui/core/box.h"
#include "ui/core/global_manager.h"
#include "ui/core/window.h"
#include "ui/host/window_impl_base.h"
#include "ui/image/image_cache.h"
#include "ui/native/headless_window.h"
#include "ui/render/render.h"

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
    "  --show            open the skin in a real window (theme and scale follow the\n"
    "                    desktop's DPI unless --theme/--scale are given)\n"
    "  --watch           with --show: rebuild when a file of the skin folder changes\n"
    "  SKIN              skin file under the theme, e.g. basic/basic.xml\n";

std::set<std::string>& MissingImages() {
  static std::set<std::string> missing;
  return missing;
}

struct Options {
  std::string resources;
  std::string installer;
  std::string theme = "themes/default";
  std::string lang = "lang/zh_CN";
  int scale = 100;
  bool theme_given = false;
  bool scale_given = false;
  bool show = false;
  bool watch = false;
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
      o.theme_given = true;
    } else if (arg == "--lang" && has_value) {
      o.lang = argv[++i];
    } else if (arg == "--scale" && has_value) {
      o.scale = std::atoi(argv[++i]);
      if (o.scale < 25 || o.scale > 400) return std::nullopt;
      o.scale_given = true;
    } else if (arg == "--show") {
      o.show = true;
    } else if (arg == "--watch") {
      o.watch = true;
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
  if (o.watch && (!o.show || o.resources.empty())) return std::nullopt;
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
  if (o.show) {
    // A window of a skin that misses pictures would hide the fault.
    for (const std::string& path : MissingImages()) {
      std::fprintf(stderr, "skin_inspector: missing image %s\n", path.c_str());
    }
    return MissingImages().empty() ? 0 : 1;
  }
  std::printf("%s at %d%%, %dx%d\n", o.skin.c_str(), o.scale, size.cx, size.cy);
  PrintTree(root, 0);
  if (!o.png.empty() && !headless->WritePng(o.png)) {
    std::fprintf(stderr, "skin_inspector: cannot write %s\n", o.png.c_str());
    return 1;
  }
  return 0;
}

// The skin in a real window. Clicks on named controls are printed, so that
// scripts can check that input reaches the controls.
class InspectorWindow : public ui::WindowImplBase {
 public:
  InspectorWindow(std::wstring folder, std::wstring file, std::function<void()> on_gone)
      : folder_(std::move(folder)), file_(std::move(file)), on_gone_(std::move(on_gone)) {}

  std::wstring GetSkinFolder() override { return folder_; }
  std::wstring GetSkinFile() override { return file_; }
  std::wstring GetWindowClassName() const override { return L"SkinInspector"; }

  void InitWindow() override {
    if (auto* box = dynamic_cast<ui::Box*>(GetRoot())) {
      box->AttachBubbledEvent(ui::kEventClick, [](const ui::EventArgs& event) {
        std::printf("click %s\n", event.sender ? event.sender->GetUtf8Name().c_str() : "");
        std::fflush(stdout);
        return true;
      });
    }
  }

  void OnInitLayout() override {
    ui::WindowImplBase::OnInitLayout();
    const ui::UiRect r = GetNativeWindow()->GetWindowRect();
    std::printf("shown %dx%d at %d,%d scale %d\n", r.GetWidth(), r.GetHeight(), r.left, r.top,
                ui::GlobalManager::GetDPIScale());
    std::fflush(stdout);
  }

  void OnFinalMessage() override {
    std::function<void()> on_gone = std::move(on_gone_);
    ui::WindowImplBase::OnFinalMessage();  // deletes this
    if (on_gone) on_gone();
  }

  void Forget() { on_gone_ = nullptr; }

 private:
  std::wstring folder_;
  std::wstring file_;
  std::function<void()> on_gone_;
};

class Previewer {
 public:
  explicit Previewer(const Options& o) : o_(o) {
    const size_t slash = o.skin.find_last_of('/');
    folder_ = nbase::UTF8ToWide(slash == std::string::npos ? "" : o.skin.substr(0, slash + 1));
    file_ = nbase::UTF8ToWide(slash == std::string::npos ? o.skin : o.skin.substr(slash + 1));
    loop_ = g_main_loop_new(nullptr, FALSE);
  }
  ~Previewer() {
    if (monitor_) g_object_unref(monitor_);
    if (poll_) g_source_remove(poll_);
    if (debounce_) g_source_remove(debounce_);
    if (error_window_) gtk_widget_destroy(error_window_);
    if (window_) {
      window_->Forget();
      window_->GetNativeWindow()->Destroy();
    }
    g_main_loop_unref(loop_);
  }

  int Run() {
    std::wstring error;
    if (!Build(nullptr, &error)) {
      std::fprintf(stderr, "skin_inspector: %s\n", nbase::WideToUTF8(error).c_str());
      return 1;
    }
    window_->CenterWindow();
    window_->ShowWindow(true, true);
    if (o_.watch && !Watch()) return 1;
    g_main_loop_run(loop_);
    return 0;
  }

 private:
  // A new window in place of the old one, at its position.
  bool Build(const ui::UiRect* place, std::wstring* error) {
    // A window that closes itself (its skin's close button) deletes itself:
    // the previewer forgets it before anything calls into it again.
    auto* window = new InspectorWindow(folder_, file_, [this] {
      window_ = nullptr;
      g_main_loop_quit(loop_);
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
      native->SetWindowRect(ui::UiRect(place->left, place->top, place->left + r.GetWidth(),
                                       place->top + r.GetHeight()),
                            false);
    }
    if (window_) {
      window_->Forget();
      window_->GetNativeWindow()->Destroy();
    }
    window_ = window;
    return true;
  }

  bool Watch() {
    const std::string dir = o_.resources + "/" + o_.theme + "/" + nbase::WideToUTF8(folder_);
    GFile* file = g_file_new_for_path(dir.c_str());
    GError* error = nullptr;
    monitor_ = g_file_monitor_directory(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, &error);
    g_object_unref(file);
    if (monitor_) {
      g_signal_connect(monitor_, "changed", G_CALLBACK(&Previewer::OnChangedThunk), this);
      std::printf("watching %s\n", dir.c_str());
    } else {
      // No change notification here (every inotify instance taken, or none at
      // all): the folder is looked at twice a second instead.
      g_clear_error(&error);
      if (!g_file_test(dir.c_str(), G_FILE_TEST_IS_DIR)) {
        std::fprintf(stderr, "skin_inspector: cannot watch %s: no such folder\n", dir.c_str());
        return false;
      }
      polled_dir_ = dir;
      polled_state_ = ReadFolderState(dir);
      poll_ = g_timeout_add(kPollMs, &Previewer::OnPollThunk, this);
      std::printf("watching %s (polling every %d ms)\n", dir.c_str(), kPollMs);
    }
    std::fflush(stdout);
    return true;
  }

  // Modification time and size of each file of a folder, by name.
  using FolderState = std::map<std::string, std::pair<int64_t, int64_t>>;
  static FolderState ReadFolderState(const std::string& dir) {
    FolderState state;
    GDir* folder = g_dir_open(dir.c_str(), 0, nullptr);
    if (!folder) return state;
    while (const char* name = g_dir_read_name(folder)) {
      struct stat st;
      if (stat((dir + "/" + name).c_str(), &st) != 0) continue;
      state[name] = {int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec, st.st_size};
    }
    g_dir_close(folder);
    return state;
  }

  static gboolean OnPollThunk(gpointer self) {
    auto* me = static_cast<Previewer*>(self);
    FolderState now = ReadFolderState(me->polled_dir_);
    if (now != me->polled_state_) {
      me->polled_state_ = std::move(now);
      me->Changed();
    }
    return G_SOURCE_CONTINUE;
  }

  static void OnChangedThunk(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent, gpointer self) {
    static_cast<Previewer*>(self)->Changed();
  }

  void Changed() {
    // Editors write in several steps; rebuild once they are done.
    if (debounce_) g_source_remove(debounce_);
    debounce_ = g_timeout_add(150, &Previewer::OnDebounceThunk, this);
  }

  static gboolean OnDebounceThunk(gpointer self) {
    auto* me = static_cast<Previewer*>(self);
    me->debounce_ = 0;
    me->Rebuild();
    return G_SOURCE_REMOVE;
  }

  void Rebuild() {
    ui::UiRect place = window_ ? window_->GetNativeWindow()->GetWindowRect() : last_place_;
    last_place_ = place;
    std::wstring error;
    if (!Build(&place, &error)) {
      ShowError(error);
      return;
    }
    if (error_window_) gtk_widget_hide(error_window_);
    window_->ShowWindow(true, false);
    std::printf("rebuilt\n");
    std::fflush(stdout);
  }

  // The parser's text in place of the skin, until the next edit fixes it.
  void ShowError(const std::wstring& error) {
    const std::string text = nbase::WideToUTF8(error);
    std::fprintf(stderr, "skin_inspector: %s\n", text.c_str());
    std::printf("error %s\n", text.c_str());
    std::fflush(stdout);
    if (!error_window_) {
      error_window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      gtk_window_set_title(GTK_WINDOW(error_window_), "skin_inspector: error");
      error_label_ = gtk_label_new(nullptr);
      gtk_label_set_selectable(GTK_LABEL(error_label_), TRUE);
      gtk_label_set_line_wrap(GTK_LABEL(error_label_), TRUE);
      gtk_container_set_border_width(GTK_CONTAINER(error_window_), 16);
      gtk_container_add(GTK_CONTAINER(error_window_), error_label_);
      g_signal_connect(error_window_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete),
                       nullptr);
    }
    gtk_label_set_text(GTK_LABEL(error_label_), text.c_str());
    gtk_window_move(GTK_WINDOW(error_window_), last_place_.left, last_place_.top);
    gtk_widget_show_all(error_window_);
  }

  const Options& o_;
  std::wstring folder_;
  std::wstring file_;
  GMainLoop* loop_ = nullptr;
  InspectorWindow* window_ = nullptr;
  static constexpr int kPollMs = 500;

  GFileMonitor* monitor_ = nullptr;
  guint poll_ = 0;
  std::string polled_dir_;
  FolderState polled_state_;
  guint debounce_ = 0;
  GtkWidget* error_window_ = nullptr;
  GtkWidget* error_label_ = nullptr;
  ui::UiRect last_place_;
};

int Show(Options o) {
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "skin_inspector: no display to show the window on\n");
    return 1;
  }
  // The desktop's DPI picks the theme folder and the scale, as in the installer.
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  const int monitor_scale = monitor ? gdk_monitor_get_scale_factor(monitor) : 1;
  const int dpi = ui::GlobalManager::GetSystemDPI() * std::max(1, monitor_scale);
  if (!o.theme_given) o.theme = nbase::WideToUTF8(corvane::ThemeFolderForDpi(dpi));
  if (!o.scale_given) o.scale = dpi * 100 / 96;
  std::printf("theme %s scale %d\n", o.theme.c_str(), o.scale);
  std::fflush(stdout);
  // The same checks as the picture: no window for a skin that does not build.
  if (Inspect(o) != 0) return 1;
  Previewer previewer(o);
  return previewer.Run();
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const int result = options->show ? Show(*options) : Inspect(*options);
  ui::GlobalManager::Shutdown();
  return result;
}
