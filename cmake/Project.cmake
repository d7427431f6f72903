# Compiler settings shared by every target, and the helpers that add programs and tests.

if(BUILD_TESTING)
    if(WIN32)
        # Built from the sources Debian's googletest package installs.
        set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
        set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        add_subdirectory(${GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
                         SYSTEM)
        # Our replacement of GoogleTest's platform hook (see the header there) comes first.
        foreach(library gtest gtest_main gmock gmock_main)
            target_include_directories(${library} BEFORE PUBLIC
                                       ${PROJECT_SOURCE_DIR}/tests/support/gtest-win32)
        endforeach()
    else()
        find_package(GTest REQUIRED)
        include(GoogleTest)
    endif()
endif()

# Warnings apply to our code, not to the GoogleTest sources built above.
add_compile_options(-Wall -Wextra -Wpedantic -Werror)

# Reproducible builds: no folder of this machine in what is built (file names in debug
# information and in assertions), and archives without time stamps or owners.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
foreach(language C CXX)
    set(CMAKE_${language}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${language}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${language}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()

if(ENABLE_SANITIZERS)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    # A debug build at -O1, as AddressSanitizer's own documentation advises: its reports stay as
    # exact, and the instrumented suites run about a seventh faster than at -O0.
    add_compile_options($<$<CONFIG:Debug>:-O1>)
    add_link_options(-fsanitize=address,undefined)
endif()

if(ENABLE_FUZZING)
    # Coverage feedback for everything the fuzzers reach, not only the fuzzer's own file.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(WIN32)
    enable_language(RC)
    # The programs call the wide API; UNICODE keeps the Windows macros pointing there too.
    # _WIN32_WINNT 0x0501 is Windows XP: the headers then hide what XP's DLLs do not export.
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
    # No MinGW runtime DLLs beside the programs: everything but the system DLLs is linked in.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # A fixed (zero) time stamp in the PE header, so that a rebuild gives the same bytes.
    add_link_options(-Wl,--no-insert-timestamp)

    set(WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
    # Wine's loader must match the programs: a 64-bit test build runs through Wine's 64-bit loader
    # alone, so that it needs no 32-bit execution. The build's own wrappers say which.
    math(EXPR WINE_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
    foreach(tool run prefix)
        configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-build-tool.sh.in
                       ${PROJECT_BINARY_DIR}/wine-${tool}.sh @ONLY)
    endforeach()
    set(WINE_RUN ${PROJECT_BINARY_DIR}/wine-run.sh)
    set(WINE_PREFIX_TOOL ${PROJECT_BINARY_DIR}/wine-prefix.sh)
    # Test executables are started through Wine, in the build's own prefix.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN} ${WINE_PREFIX})
endif()

# A deliverable program. On Windows it carries the manifest and the version resource, declares
# Windows XP (5.1) as the oldest system it runs on, and, when SPLIT_DEBUG_INFO is on, ships
# stripped with its debug information in <name>.exe.debug beside it. Only deliverables land in
# bin/ and are installed.
# add_program(<target> DESCRIPTION <one line> SOURCES <files...>)
function(add_program target)
    cmake_parse_arguments(PARSE_ARGV 1 PROGRAM "" "DESCRIPTION" "SOURCES")
    add_executable(${target} ${PROGRAM_SOURCES})
    install(TARGETS ${target} RUNTIME DESTINATION bin COMPONENT programs)
    if(NOT WIN32)
        return()
    endif()
    set(PROGRAM_NAME ${target})
    set(PROGRAM_DESCRIPTION ${PROGRAM_DESCRIPTION})
    set(APP_MANIFEST_PATH ${PROJECT_SOURCE_DIR}/cmake/app.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/app.rc.in ${PROJECT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/${target}.rc)
    # The manifest is ours alone; mingw's default one would declare supported OS versions.
    target_link_options(${target} PRIVATE -Wl,--subsystem,console:5.1
                        -Wl,--major-os-version,5 -Wl,--minor-os-version,1)
    if(SPLIT_DEBUG_INFO)
        # objcopy and strip write a new PE header; without SOURCE_DATE_EPOCH they would put the
        # time of the build into it, where the linker left the fixed zero.
        set(fixed_time ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${fixed_time} ${CMAKE_OBJCOPY} --only-keep-debug
                    $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
            COMMAND ${fixed_time} ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
            COMMAND ${fixed_time} ${CMAKE_OBJCOPY}
                    --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
                    $<TARGET_FILE_NAME:${target}>
            WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
            VERBATIM)
        install(FILES $<TARGET_FILE:${target}>.debug DESTINATION debug COMPONENT debug
                EXCLUDE_FROM_ALL)
    endif()
endfunction()

# Program tests: under Wine they need the prefix's server up and a time limit, since a hung
# Windows program would otherwise hold the run.
function(set_test_defaults)
    foreach(test IN LISTS ARGN)
        set_tests_properties(${test} PROPERTIES TIMEOUT 300)
        if(WIN32)
            set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine)
        endif()
    endforeach()
endfunction()

# A GoogleTest executable. Natively each test case is its own CTest test; under Wine the
# executable runs whole, as one CTest test, because listing the cases costs a Wine start each.
# COST n: the cases are long; CTest starts them first, so that they do not end the run alone.
function(add_unit_test target)
    cmake_parse_arguments(PARSE_ARGV 1 UNIT "" "COST" "")
    add_executable(${target} ${UNIT_UNPARSED_ARGUMENTS})
    target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
    if(WIN32)
        add_test(NAME ${target} COMMAND ${target})
        set_test_defaults(${target})
    else()
        # Listing the cases of a sanitizer build on a busy machine can take longer than the
        # default 5 s, which would fail the whole run. Every parameterised suite names its cases,
        # so the printed parameter would only repeat the name, at up to hundreds of columns.
        set(cost 0)
        if(DEFINED UNIT_COST)
            set(cost ${UNIT_COST})
        endif()
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                             PROPERTIES TIMEOUT 300 COST ${cost})
    endif()
endfunction()
