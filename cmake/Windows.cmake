# The Windows target, cross-compiled with mingw-w64 (cmake/mingw-w64-x86_64.cmake):
# one self-contained executable that needs system DLLs only.
set(CORVANE_LAYERS base ui app CACHE STRING "Layers the Windows target builds")
# A build folder configured before the UI layer joined keeps the old default
# in its cache; that default (and only that) moves on.
if(CORVANE_LAYERS STREQUAL "base;app")
  set(CORVANE_LAYERS base ui app CACHE STRING "Layers the Windows target builds" FORCE)
endif()
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00
                        WINVER=0x0A00)
add_link_options(-static -static-libgcc -static-libstdc++)
enable_language(RC)
# The system DLLs the installer's services use.
set(CORVANE_WIN_SYSTEM_LIBS winhttp urlmon ole32 oleaut32 uuid shlwapi shell32 crypt32 advapi32
    user32 ws2_32 bcrypt)
# The system DLLs the UI library draws and decodes with.
set(CORVANE_WIN_UI_LIBS gdiplus gdi32 msimg32 user32 ole32 uuid)

# minizip is not packaged for mingw-w64: its unzip layer is built from
# Debian's zlib source package, which scripts/setup unpacks into .deps/,
# over the mingw zlib. The same target name exists on Linux (cmake/Linux.cmake).
find_package(ZLIB REQUIRED)
set(CORVANE_MINIZIP_DIR "" CACHE PATH "contrib/minizip of zlib's source (default: .deps/zlib-*)")
if(NOT CORVANE_MINIZIP_DIR)
  file(GLOB minizip_found ${CMAKE_SOURCE_DIR}/.deps/zlib-*/contrib/minizip/unzip.c)
  if(minizip_found)
    # The newest when several versions were unpacked.
    list(SORT minizip_found)
    list(GET minizip_found -1 minizip_newest)
    get_filename_component(CORVANE_MINIZIP_DIR ${minizip_newest} DIRECTORY)
  endif()
endif()
if(NOT EXISTS "${CORVANE_MINIZIP_DIR}/unzip.c")
  message(FATAL_ERROR "minizip's sources are missing: run scripts/setup (it unpacks Debian's "
                      "zlib source package into .deps/) or set CORVANE_MINIZIP_DIR")
endif()
# zip.c too: tests write their skin archives with it, as they do on Linux.
add_library(minizip STATIC ${CORVANE_MINIZIP_DIR}/unzip.c ${CORVANE_MINIZIP_DIR}/zip.c
                           ${CORVANE_MINIZIP_DIR}/ioapi.c)
target_include_directories(minizip SYSTEM PUBLIC ${CORVANE_MINIZIP_DIR})
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
# Not ours: built as its authors wrote it, without our warnings.
target_compile_options(minizip PRIVATE -w)
