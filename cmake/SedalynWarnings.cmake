# Warnings are errors in our own code; third-party headers come in as system
# includes and are not affected.
function(sedalyn_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wnull-dereference -Wdouble-promotion -Werror)
endfunction()
