# The Windows installer: its services, its skinned windows and its
# unattended run.
corvane_layer(napp DIRS . LIBS nui nbase ${CORVANE_WIN_SYSTEM_LIBS})
target_compile_definitions(napp PUBLIC
  CORVANE_VERSION="${PROJECT_VERSION}"
  CORVANE_PACKAGE_BASE_URL="${CORVANE_PACKAGE_BASE_URL}"
  CORVANE_STATISTICS_URL="${CORVANE_STATISTICS_URL}"
  CORVANE_AGREEMENT_URL="${CORVANE_AGREEMENT_URL}")

# Win32 resources compiled with windres: the manifest, the version, "THEME"
# 136 (the skin archive), "CHANNEL" 138 and, with keys, "PKGKEY" 1.
# scripts/restamp-channel changes the channel of a built installer.
set(rc_dir ${CMAKE_CURRENT_BINARY_DIR}/rc)
set(CORVANE_RC_CHANNEL ${rc_dir}/channel.bin)
set(CORVANE_RC_THEME ${CMAKE_BINARY_DIR}/resources/theme.zip)
set(CORVANE_RC_PKGKEY ${rc_dir}/pkgkey.pem)
file(CONFIGURE OUTPUT ${CORVANE_RC_CHANNEL} CONTENT "${CORVANE_CHANNEL}")
file(CONFIGURE OUTPUT ${CORVANE_RC_PKGKEY} CONTENT "${CORVANE_PACKAGE_KEY_TEXT}")
set(CORVANE_RC_PKGKEY_LINE "")
if(CORVANE_PACKAGE_KEY_TEXT)
  set(CORVANE_RC_PKGKEY_LINE "1 PKGKEY \"${CORVANE_RC_PKGKEY}\"")
endif()
string(REPLACE "." "," CORVANE_RC_VERSION_COMMAS "${PROJECT_VERSION}")
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/win/installer.manifest.in ${rc_dir}/installer.manifest
               @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/win/installer.rc.in ${rc_dir}/installer.rc @ONLY)
set_source_files_properties(${rc_dir}/installer.rc PROPERTIES OBJECT_DEPENDS
  "${CORVANE_RC_THEME};${CORVANE_RC_CHANNEL};${CORVANE_RC_PKGKEY};${rc_dir}/installer.manifest")

add_executable(corvane-installer WIN32 win/main.cc ${rc_dir}/installer.rc)
# Sections nothing reaches are left out of the download (about 56 kB).
target_link_options(corvane-installer PRIVATE -municode -Wl,--gc-sections)
target_link_libraries(corvane-installer PRIVATE napp)
if(TARGET corvane_theme)
  add_dependencies(corvane-installer corvane_theme)
endif()
