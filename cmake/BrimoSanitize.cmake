# BRIMO_SANITIZE builds every target of this project (the core library, the
# window, the stand-ins and the tests) with AddressSanitizer and
# UndefinedBehaviorSanitizer. Qt itself stays as installed. Undefined
# behaviour aborts instead of printing and going on, so a test that hits it fails.
option(BRIMO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(BRIMO_SANITIZE)
    if(MSVC)
        message(FATAL_ERROR "BRIMO_SANITIZE needs GCC or Clang")
    endif()
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
