# Platform files live in a subfolder named for their target: linux/ (GTK,
# GLib, Cairo, POSIX) or win/ (Win32). Everything else is shared.
if(WIN32)
  set(CORVANE_OTHER_PLATFORM_DIR "linux")
else()
  set(CORVANE_OTHER_PLATFORM_DIR "win")
endif()

# Drops the sources of the platform not being built from the list `var`.
function(corvane_filter_platform var)
  list(FILTER ${var} EXCLUDE REGEX "/${CORVANE_OTHER_PLATFORM_DIR}/")
  set(${var} ${${var}} PARENT_SCOPE)
endfunction()

# A layer is one static library made of every source under its folders; new
# files join the build without editing any list. EXCLUDE names files (paths
# relative to the calling folder) that this target leaves out.
function(corvane_layer name)
  cmake_parse_arguments(L "" "" "DIRS;LIBS;EXCLUDE" ${ARGN})
  set(srcs)
  foreach(dir IN LISTS L_DIRS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cc ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.c)
    list(APPEND srcs ${found})
  endforeach()
  list(FILTER srcs EXCLUDE REGEX "/main\\.cc$")
  foreach(excluded IN LISTS L_EXCLUDE)
    string(REPLACE "." "\\." pattern "${excluded}")
    list(FILTER srcs EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/(\\./)?${pattern}$")
  endforeach()
  corvane_filter_platform(srcs)
  add_library(${name} STATIC ${srcs} ${CMAKE_SOURCE_DIR}/cmake/empty.cc)
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${L_LIBS})
endfunction()

# Adds `file` to `target` as the embedded resource `name` once it is linked.
function(corvane_embed_resource target name file)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND objcopy --remove-section .rsrc.${name} $<TARGET_FILE:${target}>
    COMMAND objcopy --add-section .rsrc.${name}=${file}
            --set-section-flags .rsrc.${name}=noload,readonly $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
