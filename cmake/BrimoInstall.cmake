# What `cmake --install` puts into the install prefix: brimo-update, on Windows
# the Qt libraries and plugins it needs, the compiler's runtime and the
# licences, and the flash tool when BRIMO_FLASH_TOOL names one. The pictures
# need no rule: they are built into the program as Qt resources.
# src/CMakeLists.txt installs the program itself, into
# BRIMO_INSTALL_DIR: the top of the install folder on Windows, where the
# program looks for sirfflashcl.exe beside itself, bin/ elsewhere. On Windows,
# Qt's deploy step (windeployqt) gathers the Qt part; a build for Windows made
# on another system has no windeployqt and installs the same files by the
# rules in BrimoWindowsRuntime.cmake.

set(BRIMO_FLASH_TOOL "" CACHE FILEPATH
    "The flash tool sirfflashcl.exe to install beside the program (it is not part of this source)")
if(BRIMO_FLASH_TOOL)
    if(NOT EXISTS "${BRIMO_FLASH_TOOL}")
        message(FATAL_ERROR "BRIMO_FLASH_TOOL names ${BRIMO_FLASH_TOOL}, which does not exist")
    endif()
    # The program looks for the tool under exactly this name in its own folder.
    install(PROGRAMS "${BRIMO_FLASH_TOOL}" DESTINATION ${BRIMO_INSTALL_DIR} RENAME sirfflashcl.exe)
endif()

if(MSVC)
    # The Visual C++ runtime DLLs beside the program, so it runs on a machine
    # without the redistributable installed.
    set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION ${BRIMO_INSTALL_DIR})
    include(InstallRequiredSystemLibraries)
endif()

if(WIN32 AND CMAKE_CROSSCOMPILING)
    include(${CMAKE_CURRENT_LIST_DIR}/BrimoWindowsRuntime.cmake)
elseif(APPLE)
    # Qt deploys into app bundles only; brimo-update is a plain program on
    # macOS for now and uses the Qt it was built with.
    message(STATUS "brimo-update is not an app bundle: install copies the program only")
elseif(WIN32)
    # The Qt plugins go beside the program as well, so the folder can be
    # copied whole; the deploy step writes a qt.conf that points Qt there.
    install(CODE "set(QT_DEPLOY_BIN_DIR .)\nset(QT_DEPLOY_PLUGINS_DIR .)")
    qt_generate_deploy_app_script(
        TARGET brimo-update
        FILENAME_VARIABLE brimo_deploy_script
        NO_UNSUPPORTED_PLATFORM_ERROR)
    install(SCRIPT "${brimo_deploy_script}")
endif()

if(WIN32)
    # The utility's licence and those of what ships with it: Qt (LGPL-3.0,
    # which builds on GPL-3.0), the software inside Qt, the MinGW-w64 runtime.
    set(BRIMO_LICENCE_FILES Qt.txt Qt-third-party.txt LGPL-3.0.txt GPL-3.0.txt)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        list(APPEND BRIMO_LICENCE_FILES MinGW-runtime.txt)
    endif()
    list(TRANSFORM BRIMO_LICENCE_FILES PREPEND ${PROJECT_SOURCE_DIR}/licenses/)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION licenses RENAME LICENSE.txt)
    install(FILES ${BRIMO_LICENCE_FILES} DESTINATION licenses)
    include(${CMAKE_CURRENT_LIST_DIR}/BrimoPackage.cmake)
endif()
