# The Linux desktop target: GTK 3, Cairo, Pango, gdk-pixbuf, libcurl, minizip, GLib.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gio-2.0)
pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(PANGO REQUIRED IMPORTED_TARGET pango pangocairo fontconfig)
pkg_check_modules(PIXBUF REQUIRED IMPORTED_TARGET gdk-pixbuf-2.0)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip zlib)
# The skin archive's reader under the name the Windows build gives it.
add_library(minizip INTERFACE)
target_link_libraries(minizip INTERFACE PkgConfig::MINIZIP)

# The Windows build whose installer the Windows end-to-end tests (label
# e2e_win) and bench_windows_window run under Wine.
set(CORVANE_WINDOWS_BUILD_DIR ${CMAKE_SOURCE_DIR}/build-win CACHE PATH
    "The Windows build (mingw-w64) that the Linux build's Wine tests and benchmarks run")
