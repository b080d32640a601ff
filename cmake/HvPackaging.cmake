# Installation layout and the Debian package (make package).
include(GNUInstallDirs)
# Lower-case names under share/doc, as Debian expects (GNUInstallDirs would take the project's
# name, and an earlier include may have cached it already).
set(HV_DOC_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/doc/harrowvane)

set(HV_SAMPLE_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/harrowvane/sample)
set(HV_XDG_CONFIG_DIR /etc/xdg/harrowvane)

foreach(program harrowvane hvlib hvrtf)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET sample_library)
  install(FILES ${CMAKE_BINARY_DIR}/data/sample/Sample.dat ${CMAKE_BINARY_DIR}/data/sample/Sample.txt
          DESTINATION ${HV_SAMPLE_INSTALL_DIR})
  # The installed configuration names the sample by absolute path, so the program finds it from
  # any working folder. The path is written when installing, under the prefix of that install:
  # cpack installs under /usr whatever prefix the build tree was configured with.
  set(HV_SAMPLE_FULL_DIR ${CMAKE_INSTALL_PREFIX}/${HV_SAMPLE_INSTALL_DIR})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/vornika32.ini.in ${CMAKE_BINARY_DIR}/packaging/vornika32.ini @ONLY)
  install(CODE "
    set(HV_SAMPLE_FULL_DIR \"\${CMAKE_INSTALL_PREFIX}/${HV_SAMPLE_INSTALL_DIR}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/vornika32.ini.in\" \"${CMAKE_BINARY_DIR}/packaging/vornika32.ini\" @ONLY)
  ")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/vornika32.ini ${PROJECT_SOURCE_DIR}/packaging/vornika.ini
          DESTINATION ${HV_XDG_CONFIG_DIR})
endif()
# The mark entry sheet template is looked for beside the configuration files, so a school may
# replace it there for every library at once.
if(TARGET analysis)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/templates/RX2P.xltx DESTINATION ${HV_XDG_CONFIG_DIR})
endif()

if(HV_WITH_QT)
  # The desktop entry takes the test a file manager passes (%f) and names the MIME type of tests,
  # which the package registers; without a file it opens the sample library.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/harrowvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/harrowvane-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME harrowvane.xml)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/app/harrowvane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    if(EXISTS ${PROJECT_SOURCE_DIR}/resources/app/harrowvane-${size}.png)
      install(FILES ${PROJECT_SOURCE_DIR}/resources/app/harrowvane-${size}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME harrowvane.png)
    endif()
  endforeach()
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/help/ DESTINATION ${HV_DOC_INSTALL_DIR}/help)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/tools/hvlib/MANIFEST.md DESTINATION ${HV_DOC_INSTALL_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/sample/ DESTINATION ${HV_DOC_INSTALL_DIR}/sample-sources
        PATTERN "CMakeLists.txt" EXCLUDE)

foreach(page harrowvane hvlib hvrtf)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME harrowvane)
set(CPACK_PACKAGE_VENDOR "The Harrowvane developers")
set(CPACK_PACKAGE_CONTACT "Harrowvane developers <harrowvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Question bank for teachers: find, assemble, print and export tests")
set(CPACK_PACKAGE_DESCRIPTION "Harrowvane opens a read-only library of exam material - questions, mark
schemes, examiner's reports, specification statements, resources and notes - lets a teacher find
questions, read them with their related items, assemble test documents, print and export them, and
derive mark-scheme and report documents. Includes a sample physics library.")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Qt, libzip and C++ libraries come from shlibdeps; the fonts and image plugins are loaded at
# run time, so nothing links them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, qt6-image-formats-plugins")
# Finished workbooks and links in texts open in the desktop's programs through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libreoffice-calc | gnumeric, libreoffice-writer")
# Files under /etc are the administrator's: dpkg keeps their edits on upgrade.
file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles
     "${HV_XDG_CONFIG_DIR}/vornika32.ini\n${HV_XDG_CONFIG_DIR}/vornika.ini\n${HV_XDG_CONFIG_DIR}/RX2P.xltx\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
set(CPACK_STRIP_FILES ON)
include(CPack)
