# The files brimo-update.exe needs beside it on a Windows machine without Qt,
# for a build made on another system, where Qt's deploy step (windeployqt) is
# missing: the Qt libraries it links, the Windows platform plugin, the native
# style, and the MinGW runtime. Qt finds its plugins in the program's folder,
# which qt.conf names, so the folder can be copied whole.

foreach(module Core Gui Widgets Network SerialPort)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION bin)
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION bin/platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION bin/styles)
file(WRITE ${CMAKE_BINARY_DIR}/qt.conf "[Paths]\nPrefix = .\nPlugins = .\n")
install(FILES ${CMAKE_BINARY_DIR}/qt.conf DESTINATION bin)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # The compiler knows where its own runtime lies.
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
            OUTPUT_VARIABLE brimo_runtime_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${brimo_runtime_dll}" OR NOT EXISTS "${brimo_runtime_dll}")
            message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
        endif()
        install(FILES "${brimo_runtime_dll}" DESTINATION bin)
    endforeach()
endif()
