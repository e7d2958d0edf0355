# vetu_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [QT])
# Builds one GoogleTest executable and registers it with CTest.
# QT: the test gets a QApplication on the offscreen platform (testing/QtTestMain.cpp).
function(vetu_add_test)
    cmake_parse_arguments(T "QT" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    if(T_QT)
        target_link_libraries(${T_NAME} PRIVATE vetu_qt_test_main ${T_LIBS})
    else()
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main GTest::gmock ${T_LIBS})
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
        TIMEOUT 600)
endfunction()
