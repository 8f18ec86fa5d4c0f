# velmora_add_library(name SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# One static library per subsystem; headers are included as "subsystem/file.h" from src/.
function(velmora_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# velmora_add_test(name SOURCES ... LIBS ... [GUI])
# A GoogleTest program whose cases are discovered by CTest. Each case runs with its own
# temporary home (see tests/support), and widgets render offscreen.
function(velmora_add_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} velmora_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} velmora_test_main)
  endif()
  target_compile_definitions(${name} PRIVATE VELMORA_HELPERS_DIR="${VELMORA_HELPERS_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELMORA_HELPERS_DIR=${VELMORA_HELPERS_DIR}"
               TIMEOUT 120)
endfunction()
