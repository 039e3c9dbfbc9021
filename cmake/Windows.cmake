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
# A system DLL loaded on the first call into it rather than at the start:
# an import library whose entries load it then (mingw's delay-load helper),
# made from the regular one's exports. Under Wine each DLL loaded at the
# start adds to the time before the first frame, and bcrypt and crypt32
# bring TLS libraries with them.
function(corvane_delay_loaded name out_var)
  set(dir ${CMAKE_BINARY_DIR}/delayload)
  set(lib ${dir}/lib${name}_delay.a)
  find_library(corvane_${name}_import ${name} REQUIRED)
  if(NOT EXISTS ${lib} OR ${corvane_${name}_import} IS_NEWER_THAN ${lib})
    file(MAKE_DIRECTORY ${dir})
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${corvane_${name}_import}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "I __imp_[A-Za-z0-9_]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE "I __imp_" "")
    list(REMOVE_DUPLICATES imports)
    list(JOIN imports "\n" exports)
    file(WRITE ${dir}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${dir}/${name}.def --output-delaylib ${lib}
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(${out_var} ${lib} PARENT_SCOPE)
endfunction()
corvane_delay_loaded(bcrypt corvane_bcrypt_delay)
corvane_delay_loaded(crypt32 corvane_crypt32_delay)
corvane_delay_loaded(urlmon corvane_urlmon_delay)
corvane_delay_loaded(oleacc corvane_oleacc_delay)
corvane_delay_loaded(winhttp corvane_winhttp_delay)
corvane_delay_loaded(comctl32 corvane_comctl32_delay)
# The system DLLs the installer's services use; the package check's, the
# uploads' and the system downloader's load when first used, after the
# first frame.
set(CORVANE_WIN_SYSTEM_LIBS ${corvane_winhttp_delay} ${corvane_urlmon_delay} ole32 oleaut32 uuid
    shlwapi shell32 ${corvane_crypt32_delay} advapi32 user32 ws2_32 ${corvane_bcrypt_delay}
    delayimp)
# Screen readers' entry, loaded when one first asks for the window's object.
set(CORVANE_WIN_OLEACC ${corvane_oleacc_delay} delayimp)
# The system DLLs the UI library draws, decodes and lays text out with; the
# tooltips' (comctl32) loads on the first tooltip.
set(CORVANE_WIN_UI_LIBS gdiplus gdi32 msimg32 user32 ole32 uuid dwrite ${corvane_comctl32_delay}
    delayimp)

# minizip is not packaged for mingw-w64: its unzip layer is built from
# Debian's zlib source package, which scripts/setup unpacks into .deps/,
# over the mingw zlib. The same target name exists on Linux (cmake/Linux.cmake).
# zlib is linked in: zlib1.dll is no system DLL of Windows (Wine happens to
# bring one). A build folder that found the import library keeps it in its
# cache; that (and only that) is looked up again.
set(ZLIB_USE_STATIC_LIBS ON)
if(ZLIB_LIBRARY_RELEASE MATCHES "\\.dll\\.a$")
  unset(ZLIB_LIBRARY_RELEASE CACHE)
endif()
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
