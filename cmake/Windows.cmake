# The Windows target, cross-compiled with mingw-w64 (cmake/mingw-w64-x86_64.cmake):
# one self-contained executable that needs system DLLs only.
set(CORVANE_LAYERS base app CACHE STRING "Layers the Windows target builds")
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00
                        WINVER=0x0A00)
add_link_options(-static -static-libgcc -static-libstdc++)
# Each test binary is a console program run under Wine.
set(CORVANE_WINE wine CACHE STRING "Wine loader that runs the test binaries")
enable_language(RC)
# The system DLLs the installer's services use.
set(CORVANE_WIN_SYSTEM_LIBS winhttp urlmon ole32 oleaut32 uuid shlwapi shell32 crypt32 advapi32
    user32 ws2_32 bcrypt)
