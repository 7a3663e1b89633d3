# Project-wide compiler settings, applied per target.

function(tarvex_compile_options target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
    if(TARVEX_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(TARVEX_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined
                                                 -fno-sanitize-recover=all -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(TARVEX_FUZZ)
        # Coverage feedback from every target, not just the fuzz target itself.
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
endfunction()
