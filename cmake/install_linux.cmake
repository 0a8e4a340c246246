# The programs read log.conf and open the help page beside themselves, so they live together in
# lib/larkmoor with links in bin; the desktop finds the entry and the icons in share.
set(LARKMOOR_APP_DIR lib/larkmoor)
# udev reads rules from /usr/lib and /etc, never from /usr/local.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(LARKMOOR_UDEV_RULES_DIR lib/udev/rules.d CACHE PATH "Where the udev rule goes")
else()
  set(LARKMOOR_UDEV_RULES_DIR /etc/udev/rules.d CACHE PATH "Where the udev rule goes")
endif()

set(larkmoor_programs larkmoor larkmoor-cli)
if(LARKMOOR_DEMO)
  list(APPEND larkmoor_programs larkmoor-demo)
endif()
install(TARGETS ${larkmoor_programs} RUNTIME DESTINATION ${LARKMOOR_APP_DIR})
install(FILES log.conf help/larkmoor-help.html help/larkmoor-help.de.html DESTINATION ${LARKMOOR_APP_DIR})
foreach(program IN LISTS larkmoor_programs)
  install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    file(CREATE_LINK ../${LARKMOOR_APP_DIR}/${program} \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${program}\" SYMBOLIC)")
endforeach()

install(FILES packaging/linux/com.orvandel.Larkmoor.desktop DESTINATION share/applications)
install(FILES packaging/linux/com.orvandel.Larkmoor.metainfo.xml DESTINATION share/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES packaging/icons/hicolor/${size}x${size}/apps/larkmoor.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES packaging/icons/hicolor/scalable/apps/larkmoor.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES packaging/linux/70-larkmoor.rules DESTINATION ${LARKMOOR_UDEV_RULES_DIR})
install(FILES packaging/linux/larkmoor.1 packaging/linux/larkmoor-cli.1 DESTINATION share/man/man1)
install(FILES packaging/linux/larkmoor-cli.bash-completion
        DESTINATION share/bash-completion/completions RENAME larkmoor-cli)
install(FILES packaging/linux/larkmoor.bash-completion
        DESTINATION share/bash-completion/completions RENAME larkmoor)
