# Installation and desktop integration, in one of two layouts.
#
# Per user (the default): the program writes every file it makes beside itself when it may,
# so it is installed as a folder of its own that its user can write to: by default
# ~/.local/opt/lumivert. The desktop entry and the icons go where the desktop looks for a
# user's own programs (~/.local/share).
#
#   cmake --install build/default                    for the current user
#   cmake --install build/default --prefix DIR       into DIR (the desktop entry follows)
#
# System-wide (-DLUMIVERT_SYSTEM_INSTALL=ON, as the Debian package builds it): the program
# in PREFIX/bin, the entry, icons, AppStream metadata and manual page under PREFIX/share.
# Its folder is not the user's, so its files go to the user's pictures folder instead.

option(LUMIVERT_SYSTEM_INSTALL "Install as a system program (PREFIX/bin, PREFIX/share)" OFF)

if(NOT TARGET lumivert)
  return()
endif()

if(LUMIVERT_SYSTEM_INSTALL)
  include(GNUInstallDirs)
  set(lumivert_program_dir ${CMAKE_INSTALL_BINDIR})
  set(LUMIVERT_DESKTOP_DATA_DIR ${CMAKE_INSTALL_DATADIR}) # below the prefix
  set(lumivert_entry_dir "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications")
else()
  if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT AND DEFINED ENV{HOME})
    set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local/opt/lumivert"
        CACHE PATH "The program's own folder; it writes its files there" FORCE)
  endif()
  set(lumivert_program_dir .)
  if(IS_ABSOLUTE "$ENV{XDG_DATA_HOME}")
    set(user_data_dir "$ENV{XDG_DATA_HOME}")
  else()
    set(user_data_dir "$ENV{HOME}/.local/share")
  endif()
  set(LUMIVERT_DESKTOP_DATA_DIR "${user_data_dir}"
      CACHE PATH "Where the desktop entry and the icons go (applications/ and icons/ below it)")
  set(lumivert_entry_dir "${LUMIVERT_DESKTOP_DATA_DIR}/applications")
endif()

set(lumivert_icons ${PROJECT_SOURCE_DIR}/assets/icons)
set(lumivert_desktop_template ${PROJECT_SOURCE_DIR}/assets/lumivert.desktop.in)
set(lumivert_desktop_script ${CMAKE_CURRENT_LIST_DIR}/desktop_entry.cmake)

# The window's icon travels inside the program, so it shows wherever the program is run from
# (only the windowed program is a Qt program).
if(TARGET lumivert_app)
  qt_add_resources(lumivert lumivert_icons
    PREFIX /icons
    BASE ${lumivert_icons}
    FILES ${lumivert_icons}/lumivert-48.png ${lumivert_icons}/lumivert-256.png)
endif()

install(TARGETS lumivert RUNTIME DESTINATION ${lumivert_program_dir})

set(hicolor ${LUMIVERT_DESKTOP_DATA_DIR}/icons/hicolor)
install(FILES ${lumivert_icons}/lumivert.svg DESTINATION ${hicolor}/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${lumivert_icons}/lumivert-${size}.png
          DESTINATION ${hicolor}/${size}x${size}/apps RENAME lumivert.png)
endforeach()

# The entry names the program where it is installed, which only the install step knows
# (cmake --install --prefix may differ from the configured prefix).
set(installed_entry ${CMAKE_CURRENT_BINARY_DIR}/install/lumivert.desktop)
install(CODE "
  set(PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${lumivert_program_dir}/lumivert\")
  set(ON_PATH ${LUMIVERT_SYSTEM_INSTALL})
  set(TEMPLATE \"${lumivert_desktop_template}\")
  set(OUTPUT \"${installed_entry}\")
  include(\"${lumivert_desktop_script}\")
  file(INSTALL \"${installed_entry}\" DESTINATION \"${lumivert_entry_dir}\")
  find_program(update_desktop_database update-desktop-database)
  if(update_desktop_database AND NOT DEFINED ENV{DESTDIR})
    execute_process(COMMAND \${update_desktop_database} -q \"${lumivert_entry_dir}\")
  endif()
")

if(LUMIVERT_SYSTEM_INSTALL)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/io.github.lumivert.lumivert.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/lumivert.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

if(LUMIVERT_BUILD_TESTS)
  # The entry for the configured prefix, checked by the desktop's own validator.
  set(PROGRAM ${CMAKE_INSTALL_PREFIX}/lumivert)
  set(TEMPLATE ${lumivert_desktop_template})
  set(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/lumivert.desktop)
  include(${lumivert_desktop_script})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${lumivert_desktop_template})

  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry_validates COMMAND ${DESKTOP_FILE_VALIDATE} ${OUTPUT})
    set_tests_properties(desktop_entry_validates PROPERTIES TIMEOUT 120)
  endif()

  # The Debian package, built from a copy of the sources with dpkg-buildpackage (the program
  # alone, some minutes) and checked by lintian. Once per suite: not again under the sanitizers.
  if(NOT LUMIVERT_SANITIZE)
    add_test(NAME debian_package COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/install/check_package.py
                                                ${CMAKE_BINARY_DIR}/debian_package)
    set_tests_properties(debian_package PROPERTIES TIMEOUT 1500 SKIP_RETURN_CODE 77 LABELS package)
  endif()
endif()
