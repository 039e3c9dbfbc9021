#include "ui/render/win/gdiplus_session.h"

#include "ui/render/win/gdiplus_headers.h"

#include <mutex>

#include "ui/render/render.h"

namespace ui {

namespace {

struct Session {
  std::mutex lock;
  ULONG_PTR token = 0;
  bool running = false;
};

Session& GetSession() {
  // Never destroyed: objects released during exit may still ask for it.
  static Session* session = new Session();
  return *session;
}

}  // namespace

bool EnsureGdiplus() {
  Session& s = GetSession();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.running) return true;
  Gdiplus::GdiplusStartupInput input;
  s.running = Gdiplus::GdiplusStartup(&s.token, &input, nullptr) == Gdiplus::Ok;
  return s.running;
}

void StopGdiplus() {
  Session& s = GetSession();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.running) return;
  Gdiplus::GdiplusShutdown(s.token);
  s.running = false;
  s.token = 0;
}

void StartRenderBackEnd() {
  EnsureGdiplus();
}

void StopRenderBackEnd() {
  StopGdiplus();
}

}  // namespace ui
