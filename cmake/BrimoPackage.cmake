# The Windows installer, brimo-update-<version>-setup.exe, made by CPack with
# NSIS (`cpack` in the build folder) from our own script, NSIS.template.in
# beside this file: it installs what `cmake --install` puts into the install
# folder under Program Files\Brimo, shows the licences, adds the Start menu
# shortcut, an optional desktop shortcut, the entry in the list of installed
# programs and an uninstaller. The flash tool is not ours to ship: the user
# puts sirfflashcl.exe beside brimo-update.exe.

set(CPACK_GENERATOR NSIS)
# The values reach NSIS as they are written here, quotes included.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME brimo-update)
set(CPACK_PACKAGE_VENDOR Brimo)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Brimo update utility")
set(CPACK_PACKAGE_FILE_NAME "brimo-update-${PROJECT_VERSION}-setup")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Brimo)
# The key of the entry in the list of installed programs: the same in every
# release, so that an upgrade leaves one entry.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Brimo update utility")
set(CPACK_NSIS_PACKAGE_NAME "Brimo update utility")
set(CPACK_NSIS_URL_INFO_ABOUT "http://www.brimo.example/")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/assets/brimo-update.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/assets/brimo-update.ico")
# Windows wants four numbers for a file's version.
set(CPACK_BRIMO_FILE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(CPACK_BRIMO_COPYRIGHT "${BRIMO_COPYRIGHT}")
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})

# The licence page shows every licence file the install puts into licenses\,
# the utility's own first, as one text (UTF-8, which the mark up front tells
# NSIS).
set(brimo_licence_page ${CMAKE_BINARY_DIR}/licences.txt)
string(ASCII 239 187 191 brimo_text)
foreach(file ${PROJECT_SOURCE_DIR}/LICENSE ${BRIMO_LICENCE_FILES})
    file(READ ${file} brimo_licence)
    string(APPEND brimo_text "${brimo_licence}\n\n")
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
endforeach()
file(WRITE ${brimo_licence_page} "${brimo_text}")
set(CPACK_RESOURCE_FILE_LICENSE ${brimo_licence_page})

# Made on Linux, the uninstaller and then the installer are signed as NSIS
# writes them, by the same step that signs the program (it does nothing
# without a certificate).
if(CMAKE_HOST_UNIX)
    set(brimo_sign "${PROJECT_SOURCE_DIR}/scripts/sign-windows")
    set(CPACK_BRIMO_SIGNING "!uninstfinalize '\"${brimo_sign}\" \"%1\"' = 0\n  !finalize '\"${brimo_sign}\" \"%1\"' = 0")
endif()
include(CPack)
