# SPDX-License-Identifier: GPL-3.0-or-later
# Two Debian packages from one build, made by `cpack -G DEB` from the
# install rules' components (scripts/package builds them and runs
# lintian): purgo-cli, the command line alone for machines without a
# desktop, and purgo, the windows, which needs purgo-cli of the same
# version. Their other dependencies are read from the programs' shared
# libraries by dpkg-shlibdeps, never listed by hand, so each package
# follows whatever its program linked against: the C++ runtime and the
# XML library for purgo-cli, Qt as well for purgo.
set(CPACK_PACKAGE_NAME purgo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Purgo developers")
set(CPACK_PACKAGE_CONTACT "The Purgo developers <purgo-cleaner@users.noreply.github.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PURGO_HOMEPAGE_URL})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PURGO_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackage.cmake)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL purgo-cli purgo)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The folders dpkg already owns keep its ownership and modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each description's first line is its summary. Wrapped by hand: the
# control file keeps the lines as they are.
set(CPACK_DEBIAN_PURGO-CLI_PACKAGE_NAME purgo-cli)
set(CPACK_DEBIAN_PURGO-CLI_DESCRIPTION [=[finds and deletes temporary files and caches from the command line
Purgo cleans application traces: the temporary folder, caches, the
Trash, recent-document links and package downloads; and it finds files
of the types you name in the folders you name.

This package is Purgo's command line alone, for servers and containers:
purgo-cli previews what a scan finds, as text or JSON lines, and cleans
it, or exactly the files of a reviewed preview list, with the rules of
the windows and without any graphics library.]=])

set(CPACK_DEBIAN_PURGO_PACKAGE_NAME purgo)
set(CPACK_DEBIAN_PURGO_DESCRIPTION [=[finds and deletes temporary files, caches and other disposable files
Purgo is a desktop cleaner. One page cleans application traces: the
temporary folder, caches, the Trash, recent-document links and package
downloads. The other finds files of the types you name in the folders
you name.

Every file found is listed before anything is deleted, and only what
stays ticked is deleted. The command line (purgo-cli) previews and
cleans with the same rules.]=])
# The Chinese interface needs a CJK font; the English one runs without.
set(CPACK_DEBIAN_PURGO_PACKAGE_RECOMMENDS fonts-noto-cjk)

include(CPack)
cpack_add_component(purgo-cli DISPLAY_NAME "purgo-cli")
cpack_add_component(purgo DISPLAY_NAME "purgo" DEPENDS purgo-cli)
