# Debian packages (scripts/package): one per component, each with the version its program reports.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_PACKAGE_VENDOR "The Brindlecor tool chain developers")
set(CPACK_PACKAGE_CONTACT "Brindlecor tool chain developers <tools@brindlecor.example>")
set(CPACK_PACKAGE_VERSION ${BRINDLECOR_BUILDER_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brindlecor.example/tools")

set(CPACK_DEBIAN_TAMARQUILL_PACKAGE_NAME tamarquill)
set(CPACK_COMPONENT_TAMARQUILL_DESCRIPTION "Site builder and downloader for the Brindlecor web-server device
Compiles a definitions file (named RAM variables and the device's
configuration) and a site folder into a byte-exact flash image, exports the
object table through templates, and downloads images to a device over UDP.
Command line only; the windows are in brindlecor-desktop.")

set(CPACK_DEBIAN_BRINDLECORPC_PACKAGE_NAME brindlecorpc)
set(CPACK_COMPONENT_BRINDLECORPC_DESCRIPTION "Brindlecor web-server device emulated on a PC
Serves a flash image over HTTP while executing its page codes against
emulated RAM, takes downloads, name queries and RAM writes over UDP, and
speaks the serial command protocol to a host controller.
Command line only; the windows are in brindlecor-desktop.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME brindlecor-desktop)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION x11)
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION "Windows for the Brindlecor site builder and device emulator
The builder's and the emulator's windows, with their desktop entries, icons
and the file types of definitions files (.kvd) and flash images (.kvb).")

include(CPack)
