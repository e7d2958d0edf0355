include(GoogleTest)
find_program(VETU_ENV_PROGRAM env REQUIRED)

# vetu_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [QT] [RAISES_FAULTS] [NO_SANITIZER]
#               [X_SERVER] [ENVIRONMENT <VAR=value>...])
# Builds one GoogleTest executable and registers each of its tests as its own CTest entry,
# named <name>.<Suite>.<Test>, so that a skipped test shows as skipped and never hides a
# failure of its neighbours (`ctest -R <name>` still runs the whole program).
# QT: the test gets a QApplication on the offscreen platform (testing/QtTestMain.cpp).
# RAISES_FAULTS: the tests raise real faults (SIGSEGV and friends) that the code under test must
#   catch itself; under the sanitizers they run with ASan's own fault handlers switched off.
# NO_SANITIZER: the tests cannot run under the sanitizers at all (say why beside the call);
#   the program is not registered in a -DVETU_SANITIZE=ON tree.
# X_SERVER: the tests run real programs on an X server of their own and drive them with xdotool;
#   no two such tests run at once (a lock), since their waits for windows fail under that load.
# ENVIRONMENT: further variables for this program's tests. There is no CTest entry named <name>
#   any more, so set_tests_properties(<name> ...) cannot add them afterwards.
#
# The tests are listed when CTest runs (PRE_TEST), not at build time: listing runs the program
# with --gtest_list_tests, which builds no window, starts no server and needs no display.
function(vetu_add_test)
    cmake_parse_arguments(T "QT;RAISES_FAULTS;NO_SANITIZER;X_SERVER" "NAME" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    if(T_QT)
        target_link_libraries(${T_NAME} PRIVATE vetu_qt_test_main ${T_LIBS})
    else()
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main GTest::gmock ${T_LIBS})
    endif()
    if(VETU_SANITIZE AND T_NO_SANITIZER)
        return()
    endif()
    # The environment comes from env(1) in front of the program, for listing and for every test
    # alike: a list-valued ENVIRONMENT property does not survive the discovery step intact.
    set(launcher ${VETU_ENV_PROGRAM} "QT_QPA_PLATFORM=offscreen" "LC_ALL=C.UTF-8")
    if(VETU_SANITIZE AND T_RAISES_FAULTS)
        list(APPEND launcher
            "ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0")
    endif()
    list(APPEND launcher ${T_ENVIRONMENT})
    set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR "${launcher}")
    set(properties TIMEOUT 600)
    if(T_X_SERVER)
        list(APPEND properties RESOURCE_LOCK x_server)
    endif()
    gtest_discover_tests(${T_NAME}
        TEST_PREFIX "${T_NAME}."
        NO_PRETTY_TYPES NO_PRETTY_VALUES
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 120
        PROPERTIES ${properties})
endfunction()
