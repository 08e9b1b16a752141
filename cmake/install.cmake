# Installation: the programs, libphoto.so and the help pages go into one folder
# (<prefix>/lib/tallowin), where each finds the others beside itself; <prefix>/bin gets
# links to the two programs, and the manual pages, the desktop entry and the icon go
# where man and desktops look.
include(GNUInstallDirs)
set(TALLOWIN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/tallowin)

foreach(target tallowin tallowin-batch tallowin-decoder tallowin-heif-jxl-decoder tallowin-metafile-decoder photo)
  if(TARGET ${target})
    install(TARGETS ${target}
      RUNTIME DESTINATION ${TALLOWIN_INSTALL_DIR}
      LIBRARY DESTINATION ${TALLOWIN_INSTALL_DIR})
  endif()
endforeach()

foreach(program tallowin tallowin-batch)
  if(TARGET ${program})
    install(CODE "
      file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(CREATE_LINK \"../${TALLOWIN_INSTALL_DIR}/${program}\"
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" SYMBOLIC)")
  endif()
endforeach()

if(TARGET tallowin-batch)
  install(FILES ${PROJECT_SOURCE_DIR}/man/tallowin-batch.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

if(TARGET tallowin)
  install(FILES ${PROJECT_SOURCE_DIR}/man/tallowin.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/help/ DESTINATION ${TALLOWIN_INSTALL_DIR}/help)
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/tallowin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/tallowin.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
