# SPDX-License-Identifier: GPL-3.0-or-later
# `make package`: a Debian package of the installed files. Its library dependencies are read from
# the programs by dpkg-shlibdeps; what no link shows is named here: the libraries the program opens
# while it runs (the keyring's, the sealing's, the strength estimator's), the Wayland platform
# plugin, and the fonts the window asks for (Wine's Tahoma-compatible face, or DejaVu standing in).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillgate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Korvane Quillgate developers")
set(CPACK_PACKAGE_CONTACT "The Korvane Quillgate developers <quillgate@korvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "site password generator in the tray, from one master password")
set(CPACK_PACKAGE_DESCRIPTION [[
Korvane Quillgate lives in the notification area and turns one master
password into a distinct 16-character password for every web site:
HMAC-SHA-512 over the site's URL and login, keyed with the master
password, computed each time and never stored. It remembers the sites
and logins used and, if asked, the master password, sealed with a key
in the desktop's keyring. quillgate-cli derives the same passwords in a
terminal or a script.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://korvane.org/quillgate/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package of each library opened at run time is the one that holds the library built against.
set(kv_opened_packages "")
foreach(library IN ITEMS ${KV_SECRET_LIBRARY} ${KV_SODIUM_LIBRARY} ${KV_ZXCVBN_LIBRARY})
  file(REAL_PATH ${library} file)
  execute_process(COMMAND dpkg-query -S ${file} OUTPUT_VARIABLE owner RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed OR NOT owner MATCHES "^([^:,]+)")
    message(WARNING "No Debian package holds ${file}: the package cannot name it")
    continue()
  endif()
  string(APPEND kv_opened_packages "${CMAKE_MATCH_1}, ")
endforeach()
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "${kv_opened_packages}qt6-wayland, fonts-dejavu-core, fonts-wine | fonts-dejavu-extra")
# The saved master password's key lives in the Secret Service; GNOME's panel needs the extension.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
