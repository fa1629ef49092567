# The source tree's root, wherever this file is included from.
get_filename_component(KESTRUNE_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# The Qt and standard headers nearly every file includes, parsed once for the whole tree
# (KESTRUNE_PCH): a clean build parses them in every one of some 250 files otherwise. Only
# headers every target can reach, so no target depends on a module it does not link.
function(kestrune_pch_target)
    if(TARGET kestrune_pch)
        return()
    endif()
    file(WRITE ${CMAKE_BINARY_DIR}/kestrune_pch.cpp "// The precompiled headers' own target.\n")
    add_library(kestrune_pch STATIC ${CMAKE_BINARY_DIR}/kestrune_pch.cpp)
    kestrune_flags(kestrune_pch)
    target_link_libraries(kestrune_pch PRIVATE Qt6::Core)
    target_precompile_headers(kestrune_pch PRIVATE
        <QByteArray> <QDateTime> <QDir> <QElapsedTimer> <QFile> <QFileInfo> <QHash> <QList>
        <QMap> <QObject> <QPointer> <QRegularExpression> <QSet> <QString> <QStringList>
        <QTimer> <QUrl> <QVariant> <QVariantMap>
        <algorithm> <functional> <memory> <optional> <utility> <vector>)
endfunction()

# Warnings and sanitizers.
function(kestrune_flags target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(KESTRUNE_FUZZ)
        # Coverage for the fuzzer in every library it links; the fuzz targets add the driver.
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                                                 -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    elseif(KESTRUNE_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(KESTRUNE_PCH AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # A header that cannot be used says so rather than costing time unseen.
        target_compile_options(${target} PRIVATE -Winvalid-pch)
    endif()
endfunction()

# Common settings for every target of our own: warnings on, optional sanitizers, the shared
# precompiled headers.
function(kestrune_defaults target)
    kestrune_flags(${target})
    # GCC only: it falls back to the headers themselves where a flag differs; clang refuses.
    if(KESTRUNE_PCH AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        kestrune_pch_target()
        target_precompile_headers(${target} REUSE_FROM kestrune_pch)
    endif()
endfunction()

# A static library of one subsystem. Logic libraries link Qt Core and Network only; a
# subsystem's windows live in a separate "<name>_ui" target that may link Widgets.
function(kestrune_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    kestrune_defaults(${name})
    target_include_directories(${name} PUBLIC ${KESTRUNE_SOURCE_ROOT}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# One Qt Test executable registered with CTest; runs offscreen with its own settings
# and runtime folders so nothing touches the user's configuration.
# COST: the seconds it takes, for tests that take long. Without timings of an earlier run
# CTest starts tests in the order they were declared; the long ones go first, so a parallel
# run does not end waiting on one of them.
function(kestrune_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT;COST" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    kestrune_defaults(${name})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    # Leak detection is on: a test that leaks fails (what outside libraries keep until exit is
    # listed, with reasons, in scripts/lsan.supp).
    if(ARG_COST)
        set_tests_properties(${name} PROPERTIES COST ${ARG_COST})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KESTRUNE_AUDIO=null;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;LSAN_OPTIONS=suppressions=${KESTRUNE_SOURCE_ROOT}/scripts/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;${ARG_ENV}")
endfunction()

# The same test once more as an ordinary user when the tests run as root (as on CI), so the
# cases that need file permissions to hold really run. Named NAME_unprivileged.
function(kestrune_unprivileged_test name)
    add_test(NAME ${name}_unprivileged
             COMMAND ${KESTRUNE_SOURCE_ROOT}/scripts/run-unprivileged $<TARGET_FILE:${name}>)
    get_test_property(${name} ENVIRONMENT environment)
    get_test_property(${name} TIMEOUT timeout)
    set_tests_properties(${name}_unprivileged PROPERTIES ENVIRONMENT "${environment}"
                                                         TIMEOUT ${timeout})
endfunction()
