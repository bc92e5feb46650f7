# Settings every target of ours links: the language level, warnings and sanitizers.
add_library(morvalin_settings INTERFACE)
target_compile_features(morvalin_settings INTERFACE cxx_std_20)
target_compile_options(morvalin_settings INTERFACE
    -Wall -Wextra -Wshadow -Wold-style-cast -Wnon-virtual-dtor)
if(MORVALIN_WERROR)
    target_compile_options(morvalin_settings INTERFACE -Werror)
endif()
if(MORVALIN_SANITIZE)
    target_compile_options(morvalin_settings INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(morvalin_settings INTERFACE -fsanitize=address,undefined)
endif()
if(MORVALIN_FUZZ)
    # Coverage instrumentation for every library the fuzz targets link.
    target_compile_options(morvalin_settings INTERFACE -fsanitize=fuzzer-no-link)
endif()
