# "cpack" in the build tree makes korvane_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_CONTACT Korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${KORVANE_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prove that files can be read back from any drive")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Korvane opens and reads every chosen file, from its first byte to its listed
size, on hard disks, USB sticks, optical discs and network mounts, and reports
each file that cannot be opened or read with the byte position of the failing
read unit, the system's error code and its message.

The package holds the desktop program korvane (Qt 6, Simplified Chinese),
which shows the run live and keeps a log that can be saved as a text file,
and korvane-cli, the same check without a window for scripts and servers.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows draw their Chinese texts with Noto CJK and find metric
# equivalents of their Western faces in Liberation; the texts of Qt's own
# buttons and dialogs come from its translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, fonts-liberation, qt6-translations-l10n")
include(CPack)
