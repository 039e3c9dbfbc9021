# The installer is one file a user downloads: every DLL its loader resolves at
# the start must be one Windows itself ships, or the program does not start
# there (Wine brings more, such as zlib1.dll, so running it under Wine cannot
# tell). Usage: cmake -DOBJDUMP=... -DPROGRAM=... -P check_imports.cmake
cmake_minimum_required(VERSION 3.20)
set(system_dlls
    advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dwrite.dll gdi32.dll gdiplus.dll
    imm32.dll kernel32.dll msimg32.dll msvcrt.dll ole32.dll oleacc.dll oleaut32.dll shell32.dll
    shlwapi.dll urlmon.dll user32.dll uxtheme.dll version.dll winhttp.dll ws2_32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot read the import table of ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${headers}")
if(NOT names)
  message(FATAL_ERROR "${PROGRAM} names no imported DLL: not a program of this build?")
endif()
set(foreign "")
foreach(entry IN LISTS names)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    list(APPEND foreign ${dll})
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${PROGRAM} imports DLLs Windows does not ship: ${foreign}")
endif()
list(LENGTH names count)
message(STATUS "${count} imported DLLs, all shipped with Windows")
