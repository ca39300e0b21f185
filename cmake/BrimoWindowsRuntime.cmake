# The files brimo-update.exe needs beside it on a Windows machine without Qt,
# for a build made on another system, where Qt's deploy step (windeployqt) is
# missing: the Qt libraries it links, the Windows platform plugin, the native
# style, and the MinGW runtime. Qt finds its plugins in the program's folder,
# which qt.conf names, so the folder can be copied whole. Last, what windeployqt
# would do as well: every program and library stripped of its debug data, and
# then signed when a certificate is named (BrimoFinishBinaries.cmake).

foreach(module Core Gui Widgets Network SerialPort)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION ${BRIMO_INSTALL_DIR})
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
file(WRITE ${CMAKE_BINARY_DIR}/qt.conf "[Paths]\nPrefix = .\nPlugins = .\n")
install(FILES ${CMAKE_BINARY_DIR}/qt.conf DESTINATION ${BRIMO_INSTALL_DIR})

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # The compiler knows where its own runtime lies.
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
            OUTPUT_VARIABLE brimo_runtime_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${brimo_runtime_dll}" OR NOT EXISTS "${brimo_runtime_dll}")
            message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
        endif()
        install(FILES "${brimo_runtime_dll}" DESTINATION ${BRIMO_INSTALL_DIR})
    endforeach()
endif()

install(CODE "set(BRIMO_STRIP \"${CMAKE_STRIP}\")
set(BRIMO_SIGN \"${PROJECT_SOURCE_DIR}/scripts/sign-windows\")")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/BrimoFinishBinaries.cmake)
