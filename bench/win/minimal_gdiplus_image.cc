// The yardstick of the Windows window benchmark: the least a Win32 program
// does to show one picture in a window through GDI+. Prints "shown" once the
// first frame is drawn.

#include <windows.h>

// GDI+'s headers need the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>

#include <gdiplus.h>
#include <shellapi.h>

#include <cstdio>

namespace {

Gdiplus::GpBitmap* g_picture = nullptr;
UINT g_width = 0;
UINT g_height = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      Gdiplus::GpGraphics* graphics = nullptr;
      if (Gdiplus::DllExports::GdipCreateFromHDC(dc, &graphics) == Gdiplus::Ok) {
        Gdiplus::DllExports::GdipDrawImageRectI(
            graphics, g_picture, 0, 0, static_cast<INT>(g_width), static_cast<INT>(g_height));
        Gdiplus::DllExports::GdipDeleteGraphics(graphics);
      }
      EndPaint(window, &paint);
      static bool first = true;
      if (first) {
        first = false;
        std::printf("shown %ux%u\n", g_width, g_height);
        std::fflush(stdout);
      }
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, w_param, l_param);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv || count < 2) {
    std::fputs("usage: minimal_gdiplus_image PICTURE\n", stderr);
    return 2;
  }
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok ||
      Gdiplus::DllExports::GdipCreateBitmapFromFile(argv[1], &g_picture) != Gdiplus::Ok) {
    std::fputs("minimal_gdiplus_image: cannot read the picture\n", stderr);
    return 1;
  }
  Gdiplus::DllExports::GdipGetImageWidth(g_picture, &g_width);
  Gdiplus::DllExports::GdipGetImageHeight(g_picture, &g_height);

  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  window_class.lpszClassName = L"MinimalGdiplusImage";
  RegisterClassW(&window_class);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - static_cast<int>(g_width)) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - static_cast<int>(g_height)) / 2;
  HWND window = CreateWindowExW(0, L"MinimalGdiplusImage", L"minimal_gdiplus_image", WS_POPUP, x, y,
                                static_cast<int>(g_width), static_cast<int>(g_height), nullptr,
                                nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  Gdiplus::DllExports::GdipDisposeImage(g_picture);
  Gdiplus::GdiplusShutdown(token);
  LocalFree(argv);
  return 0;
}
