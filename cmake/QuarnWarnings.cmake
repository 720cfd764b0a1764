# The warning set every target of the project is built with.
function(quarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                         $<$<BOOL:${QUARN_WERROR}>:-Werror>)
endfunction()
