# Warnings live on one interface target so every Carvo target gets the same set;
# the dev and CI builds make them fatal.
add_library(carvo_warnings INTERFACE)
target_compile_options(carvo_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
    -Woverloaded-virtual -Wconversion -Wformat=2 -Wimplicit-fallthrough)
if(CARVO_WARNINGS_AS_ERRORS)
    target_compile_options(carvo_warnings INTERFACE -Werror)
endif()

# Sanitizers for the asan preset and the fuzz targets.
add_library(carvo_sanitizers INTERFACE)
if(CARVO_SANITIZE)
    target_compile_options(carvo_sanitizers INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(carvo_sanitizers INTERFACE -fsanitize=address,undefined)
endif()
