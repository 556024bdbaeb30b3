# Warnings are errors in our own code only (not in third-party headers).
# GCC 12 at -O3 (Release) reports overlaps that cannot happen inside
# std::string's inlined copies (-Wrestrict); there it stays a warning.
function(marivelle_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wno-unused-parameter -Werror
    $<$<AND:$<CONFIG:Release>,$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-error=restrict>)
endfunction()
