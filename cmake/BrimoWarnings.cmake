# Warnings are errors for our own targets; Qt's headers come in as system headers.
function(brimo_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
            -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
            -Wconversion -Wsign-conversion -Werror)
    endif()
endfunction()
