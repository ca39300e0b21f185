# Run last by `cmake --install`, and so by cpack, for a Windows build made on
# Linux: strips every program and library in the install folder of its debug
# data (libstdc++-6.dll alone carries 19 MB of it), then hands them to
# scripts/sign-windows, which signs them when a certificate is named and does
# nothing otherwise. The flash tool, when one is installed, is the chip maker's:
# neither changed nor signed by us.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB_RECURSE binaries "${folder}/*.exe" "${folder}/*.dll")
list(FILTER binaries EXCLUDE REGEX "/sirfflashcl\\.exe$")
foreach(binary IN LISTS binaries)
    execute_process(COMMAND "${BRIMO_STRIP}" "${binary}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
execute_process(COMMAND "${BRIMO_SIGN}" ${binaries} COMMAND_ERROR_IS_FATAL ANY)
