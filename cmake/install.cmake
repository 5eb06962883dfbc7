# Where everything goes under the prefix, by package: `tamarquill` (the builder's command line, no Qt),
# `brindlecorpc` (the server's command line) and `desktop` (both windows and what a desktop needs).
include(GNUInstallDirs)

set(BRINDLECOR_WINDOW_DIR ${CMAKE_INSTALL_LIBEXECDIR}/brindlecor)
set(BRINDLECOR_DATA ${CMAKE_SOURCE_DIR}/data)

# Debian wants man pages and changelogs compressed, without a time stamp inside.
function(brindlecor_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9 -n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  get_filename_component(name ${output} NAME)
  add_custom_target(gzip_${name} ALL DEPENDS ${output})
endfunction()

set(gz ${CMAKE_BINARY_DIR}/gz)
file(MAKE_DIRECTORY ${gz})
foreach(program tamarquill brindlecorpc)
  brindlecor_gzip(${BRINDLECOR_DATA}/man/${program}.1 ${gz}/${program}.1.gz)
  install(FILES ${gz}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${program})
  install(FILES ${BRINDLECOR_DATA}/completions/${program}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT ${program})
endforeach()
brindlecor_gzip(${BRINDLECOR_DATA}/changelog ${gz}/changelog.gz)

# Every package carries its copyright and changelog in its own documentation folder.
foreach(package tamarquill brindlecorpc brindlecor-desktop)
  set(component ${package})
  if(package STREQUAL "brindlecor-desktop")
    set(component desktop)
  endif()
  install(FILES ${BRINDLECOR_DATA}/copyright ${gz}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(doc_builder ${CMAKE_INSTALL_DATADIR}/doc/tamarquill)
install(FILES README.md docs/definitions.md docs/make.md docs/download.md docs/inspect.md
  DESTINATION ${doc_builder} COMPONENT tamarquill)
install(DIRECTORY examples/demo DESTINATION ${doc_builder}/examples COMPONENT tamarquill
  PATTERN "*.kvb" EXCLUDE PATTERN "demo_objects.h" EXCLUDE)
install(DIRECTORY examples/cmake DESTINATION ${doc_builder}/examples COMPONENT tamarquill
  PATTERN "build*" EXCLUDE)
install(FILES docs/server.md docs/serial.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brindlecorpc COMPONENT brindlecorpc)

if(BRINDLECOR_BUILD_WINDOWS)
  set(doc_desktop ${CMAKE_INSTALL_DATADIR}/doc/brindlecor-desktop)
  install(FILES docs/windows.md DESTINATION ${doc_desktop} COMPONENT desktop)
  install(DIRECTORY docs/images DESTINATION ${doc_desktop} COMPONENT desktop)
  install(FILES ${BRINDLECOR_DATA}/tamarquill.desktop ${BRINDLECOR_DATA}/brindlecorpc.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
  install(FILES ${BRINDLECOR_DATA}/brindlecor.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT desktop)
  foreach(program tamarquill brindlecorpc)
    install(FILES ${BRINDLECOR_DATA}/icons/${program}.svg
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT desktop)
    foreach(size 16 32 48 64 128 256)
      install(FILES ${BRINDLECOR_DATA}/icons/${size}x${size}/${program}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT desktop)
    endforeach()
  endforeach()
endif()
