# Installation into the usual places and a Debian package (cpack -G DEB).
include(GNUInstallDirs)

set(ZR_APP_ID org.zr4812.FileExchange)
foreach(program zr4812-exchange zr4812 zr4812-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/data/${ZR_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/${ZR_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The file types of the console's data. Debian's shared-mime-info (which Qt
# depends on) rebuilds the database by a dpkg trigger on this folder, so the
# package needs no maintainer scripts of its own.
install(FILES ${CMAKE_SOURCE_DIR}/data/${ZR_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${ZR_APP_ID}.xml)
install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${ZR_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${ZR_APP_ID}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
# zr4812's manual page is its --help text, made by help2man when that is
# installed (scripts/setup installs it).
find_program(HELP2MAN help2man)
if(TARGET zr4812 AND HELP2MAN)
  set(ZR_MAN_PAGE ${CMAKE_BINARY_DIR}/zr4812.1)
  add_custom_command(
    OUTPUT ${ZR_MAN_PAGE}.gz
    COMMAND ${HELP2MAN} --no-info
            --name "move files between this computer and a ZR4812 mixing console"
            --output ${ZR_MAN_PAGE} $<TARGET_FILE:zr4812>
    COMMAND gzip -9nf ${ZR_MAN_PAGE}
    DEPENDS zr4812
    COMMENT "Manual page zr4812.1 from zr4812 --help"
    VERBATIM)
  add_custom_target(zr4812-man ALL DEPENDS ${ZR_MAN_PAGE}.gz)
  install(FILES ${ZR_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/data/zr4812.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME zr4812)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME zr4812-exchange)
set(CPACK_PACKAGE_VENDOR "ZR4812 File Exchange developers")
set(CPACK_PACKAGE_CONTACT "ZR4812 File Exchange developers <developers@zr4812.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Copy files between a PC and the ZR4812 mixing console")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
include(CPack)
