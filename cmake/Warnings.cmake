# Warning flags for the project's own targets; call plinth_warnings(<target>).
function(plinth_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${PLINTH_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                           $<$<BOOL:${PLINTH_WERROR}>:-Werror>)
  endif()
endfunction()

if(PLINTH_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "PLINTH_SANITIZE is supported with GCC and Clang only")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
