#include "app/main_thread.h"

#include "app/installer_constants.h"
#include "app/statistics.h"
#include "app/system/error_alert.h"
#include "base/startup_timing.h"
#include "base/string_util.h"

namespace corvane {

MiscThread::MiscThread(int identifier, std::string name)
    : nbase::FrameworkThread(std::move(name)), identifier_(identifier) {}

MiscThread::~MiscThread() {
  Stop();
}

namespace {

constexpr nbase::TimeDelta kUploadsHeldAtMost = nbase::TimeDelta::FromSeconds(2);

}  // namespace

void MiscThread::Init() {
  nbase::ThreadRegistry::RegisterCurrentThread(identifier_);
}

void MiscThread::Cleanup() {
  nbase::ThreadRegistry::UnregisterCurrentThread();
}

std::wstring ThemeFolderForDpi(int dpi) {
  if (dpi <= 100) return L"themes/default";
  if (dpi <= 131) return L"themes/default-hdpi";
  return L"themes/default-xhdpi";
}

bool AskRetrySecondInstance() {
  const std::string text = nbase::WideToUTF8(nbase::StringPrintf(
      L"%ls 安装程序已经在运行，请关闭后点击\"重试\"继续，或点击\"取消\"退出安装", kDisplayName));
  const std::string caption = nbase::WideToUTF8(nbase::StringPrintf(L"%ls安装提示", kDisplayName));
  return AskRetryOrCancel(caption, text);
}

MainThread::MainThread(StartupHooks hooks)
    : nbase::FrameworkThread(nbase::WideToUTF8(kMainThreadName)),
      hooks_(std::move(hooks)),
      instance_lock_(kSingleInstanceName) {}

MainThread::~MainThread() {
  http_thread_.reset();
  misc_thread_.reset();
}

void MainThread::Init() {
  while (!instance_lock_.TryAcquire()) {
    if (hooks_.ask_retry_second_instance && hooks_.ask_retry_second_instance()) continue;
    cancelled_ = true;
    if (nbase::UIMessageLoop* loop = nbase::UIMessageLoop::Current()) {
      loop->PostQuitMessage();
    } else if (nbase::MessageLoop* any = GetMessageLoop()) {
      any->PostTask([any] { any->RequestQuit(); });
    }
    return;
  }
  nbase::StartupTiming::Mark("single instance held");
  nbase::ThreadRegistry::RegisterCurrentThread(kThreadUi);

  // Both workers start at once, and the UI thread goes on meanwhile: work
  // for them waits until they have registered.
  misc_thread_ =
      std::make_unique<MiscThread>(kThreadGlobalMisc, nbase::WideToUTF8(kGlobalMiscThreadName));
  misc_thread_->StartWithoutWaiting();
  http_thread_ = std::make_unique<MiscThread>(kThreadHttp, nbase::WideToUTF8(kHttpThreadName));
  http_thread_->StartWithoutWaiting();
  nbase::StartupTiming::Mark("worker threads started");

  // Held, the uploads post nothing before the AppStart record; by then the
  // workers have long registered.
  if (hooks_.uploads_wait_for_first_frame) {
    HoldUploads();
  } else {
    WaitForWorkers();
  }
  CollectCommonFields();
  nbase::StartupTiming::Mark("common fields collected");

  const int dpi = hooks_.system_dpi ? hooks_.system_dpi() : 96;
  nbase::StartupTiming::Mark("system DPI read");
  // A windowed start has the misc thread load fonts and pictures for it.
  misc_thread_->WaitUntilStarted();
  if (hooks_.start_skin) skin_opened_ = hooks_.start_skin(ThemeFolderForDpi(dpi));
  nbase::StartupTiming::Mark("skin opened");

  WaitForWorkers();
  const int scale = hooks_.scale_percent ? hooks_.scale_percent() : 100;
  ReportEvent(L"AppStart", {{L"Dpi", std::to_wstring(dpi)},
                            {L"FirstStart", L"true"},
                            {L"Scale", std::to_wstring(scale)}});
  nbase::StartupTiming::Mark("AppStart reported");

  if (hooks_.create_main_window) hooks_.create_main_window();
  nbase::StartupTiming::Mark("main window shown");
  // The window's first frame releases the uploads; should it never come,
  // the records go out all the same.
  if (UploadsHeld()) {
    nbase::ThreadRegistry::PostDelayedTaskToThread(
        kThreadUi, [] { ReleaseUploads(); }, kUploadsHeldAtMost);
  }
}

void MainThread::WaitForWorkers() {
  misc_thread_->WaitUntilStarted();
  http_thread_->WaitUntilStarted();
}

void MainThread::Cleanup() {
  if (cancelled_) return;
  // Records still held go out before the http thread is stopped.
  ReleaseUploads();
  if (hooks_.stop_skin) hooks_.stop_skin();
  nbase::ThreadRegistry::UnregisterCurrentThread();
}

}  // namespace corvane
