# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made by `cpack -G DEB` from the install rules
# (scripts/package builds it and runs lintian). Its dependencies are read
# from the program's shared libraries by dpkg-shlibdeps, never listed by
# hand, so the package follows whatever the build linked against.
set(CPACK_PACKAGE_NAME purgo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Purgo developers")
set(CPACK_PACKAGE_CONTACT "The Purgo developers <purgo-cleaner@users.noreply.github.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PURGO_HOMEPAGE_URL})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "finds and deletes temporary files, caches and other disposable files")
# Wrapped by hand: the control file keeps the lines as they are.
set(CPACK_PACKAGE_DESCRIPTION [=[Purgo is a desktop cleaner. One page cleans application traces: the
temporary folder, caches, the Trash, recent-document links and package
downloads. The other finds files of the types you name in the folders
you name.

Every file found is listed before anything is deleted, and only what
stays ticked is deleted. The command line previews and cleans with the
same rules.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PURGO_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackage.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Chinese interface needs a CJK font; the English one runs without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-noto-cjk)
# The folders dpkg already owns keep its ownership and modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
