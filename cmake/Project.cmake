# Compiler settings shared by every target, and the helpers that add programs and tests.

if(WIN32)
    # Built from the sources Debian's googletest package installs.
    set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()

# Warnings apply to our code, not to the GoogleTest sources built above.
add_compile_options(-Wall -Wextra -Wpedantic -Werror)

if(ENABLE_SANITIZERS)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(ENABLE_FUZZING)
    # Coverage feedback for everything the fuzzers reach, not only the fuzzer's own file.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(WIN32)
    enable_language(RC)
    # The programs call the wide API; UNICODE keeps the Windows macros pointing there too.
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
    # No MinGW runtime DLLs beside the programs: everything but the system DLLs is linked in.
    add_link_options(-static -static-libgcc -static-libstdc++)

    set(APP_MANIFEST_PATH ${PROJECT_SOURCE_DIR}/cmake/app.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/app.rc.in ${PROJECT_BINARY_DIR}/app.rc @ONLY)

    set(WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
    set(WINE_RUN ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh)
    # Test executables are started through Wine, in the build's own prefix.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN} ${WINE_PREFIX})
endif()

# A deliverable program: on Windows it carries the manifest and a console subsystem.
function(add_program target)
    add_executable(${target} ${ARGN})
    if(WIN32)
        target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/app.rc)
        # The manifest is ours alone; mingw's default one would declare supported OS versions.
        target_link_options(${target} PRIVATE -Wl,--subsystem,console)
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
function(add_unit_test target)
    add_executable(${target} ${ARGN})
    target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
    if(WIN32)
        add_test(NAME ${target} COMMAND ${target})
        set_test_defaults(${target})
    else()
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
    endif()
endfunction()

