#include "app/system/folder_picker.h"

#include <windows.h>

#include <shobjidl.h>

#include <utility>

#include "app/system/win/wide_text.h"
#include "base/message_loop.h"
#include "base/string_util.h"
#include "ui/native/win/win_window.h"

namespace corvane {

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T** Receive() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

// The calling thread in a single-threaded apartment for the dialog's time,
// as the shell's dialogs need.
class ScopedApartment {
 public:
  ScopedApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ScopedApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ScopedApartment(const ScopedApartment&) = delete;
  ScopedApartment& operator=(const ScopedApartment&) = delete;
  bool ok() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

// Marks the loop as running inside the system's modal loop.
class ScopedOsModal {
 public:
  explicit ScopedOsModal(nbase::MessageLoop* loop) : loop_(loop), was_(loop->os_modal()) {
    loop_->set_os_modal(true);
  }
  ~ScopedOsModal() { loop_->set_os_modal(was_); }
  ScopedOsModal(const ScopedOsModal&) = delete;
  ScopedOsModal& operator=(const ScopedOsModal&) = delete;

 private:
  nbase::MessageLoop* loop_;
  bool was_;
};

// The shell's folder dialog. Show() runs the system's modal loop, which
// dispatches this thread's messages (the loop's tasks among them) while the
// owner is disabled; the answer is posted, so `done` runs after Pick returned.
class DesktopFolderPicker : public FolderPicker {
 public:
  bool Pick(ui::NativeWindow* owner, const std::string& title, const std::string& start_folder,
            Done done) override {
    nbase::MessageLoop* loop = nbase::MessageLoop::Current();
    if (!loop) return false;
    HWND parent = nullptr;
    if (owner) {
      auto* win_owner = dynamic_cast<ui::WinNativeWindow*>(owner);
      // A headless window has nothing a dialog could stand over.
      if (!win_owner || !win_owner->GetHwnd()) return false;
      parent = win_owner->GetHwnd();
    }
    ScopedApartment apartment;
    if (!apartment.ok()) return false;
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(dialog.Receive())))) {
      return false;
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    // Only folders of the file system: the result must be a path the
    // package can install into.
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(Utf8ToUtf16(title).c_str());
    ComPtr<IShellItem> start;
    // A start folder that does not exist leaves the dialog where it opens by default.
    if (!start_folder.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(nbase::NativePathToWide(start_folder).c_str(),
                                              nullptr, IID_PPV_ARGS(start.Receive())))) {
      dialog->SetFolder(start.get());
    }

    std::optional<std::string> folder;
    HRESULT shown;
    {
      ScopedOsModal modal(loop);
      shown = dialog->Show(parent);
    }
    if (SUCCEEDED(shown)) {
      ComPtr<IShellItem> result;
      wchar_t* path = nullptr;
      if (SUCCEEDED(dialog->GetResult(result.Receive())) &&
          SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        folder = nbase::WideToNativePath(path);
        CoTaskMemFree(path);
      }
    }
    // Cancelled, closed, or refused by the system: no folder either way.
    loop->PostTask([done = std::move(done), folder = std::move(folder)]() mutable {
      if (done) done(std::move(folder));
    });
    return true;
  }
};

}  // namespace

std::unique_ptr<FolderPicker> MakeDesktopFolderPicker() {
  return std::make_unique<DesktopFolderPicker>();
}

std::string ProductFolderUnder(const std::string& folder) {
  std::string base = folder;
  while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  return base + "\\brightmoor\\corvane";
}

}  // namespace corvane
