# Warnings are errors in our own code only (not in third-party headers).
function(marivelle_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wno-unused-parameter -Werror)
endfunction()
