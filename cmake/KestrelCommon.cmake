# One set of compiler settings for every library, program and test.
add_library(kestrel_common_cfg INTERFACE)
target_compile_features(kestrel_common_cfg INTERFACE cxx_std_20)
target_compile_options(kestrel_common_cfg INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor)
target_compile_definitions(kestrel_common_cfg INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_KEYWORDS QT_DISABLE_DEPRECATED_BEFORE=0x060400
    KESTREL_VERSION="${PROJECT_VERSION}")
if(KESTREL_WERROR)
    target_compile_options(kestrel_common_cfg INTERFACE -Werror)
endif()
if(KESTREL_SANITIZE)
    target_compile_options(kestrel_common_cfg INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(kestrel_common_cfg INTERFACE -fsanitize=address,undefined)
endif()
