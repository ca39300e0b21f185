# The Windows installer, brimo-update-<version>-setup.exe, made by CPack with
# NSIS (`cpack` in the build folder): it installs what `cmake --install` puts
# into bin/ under Program Files\Brimo, adds a Start menu entry with the
# utility's icon and an uninstaller. The flash tool is not ours to ship: the
# user puts sirfflashcl.exe beside brimo-update.exe.

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME brimo-update)
set(CPACK_PACKAGE_VENDOR Brimo)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Brimo update utility")
set(CPACK_PACKAGE_FILE_NAME "brimo-update-${PROJECT_VERSION}-setup")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Brimo)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Brimo update utility")
set(CPACK_PACKAGE_EXECUTABLES brimo-update "Brimo update utility")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Brimo update utility")
set(CPACK_NSIS_DISPLAY_NAME "Brimo update utility")
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\brimo-update.exe")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/assets/brimo-update.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/assets/brimo-update.ico")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# There is no licence text to agree to.
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
# A 64-bit installer for a 64-bit program; Unicode, so that folder names
# beyond the system's code page work.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
include(CPack)
