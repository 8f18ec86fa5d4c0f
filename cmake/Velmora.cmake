# velmora_add_library(name SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# One static library per subsystem, declared from the subsystem's own folder under src/.
# Headers are included as "subsystem/file.h"; each library exports an include folder that holds
# only its own subsystem, so a header is found only through a library that is linked.
function(velmora_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  file(RELATIVE_PATH subsystem ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(include_root ${CMAKE_BINARY_DIR}/include/${name})
  get_filename_component(link_parent ${include_root}/${subsystem} DIRECTORY)
  file(MAKE_DIRECTORY ${link_parent})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${include_root}/${subsystem} SYMBOLIC)
  target_include_directories(${name} PUBLIC ${include_root})
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

# velmora_add_translations(target TS_FILES ...)
# Compiles a subsystem's translation files (resources/translations/<subsystem>_<language>.ts) with
# lrelease and embeds them in the library as ":/translations/<name>.qm"; the in-app language
# loads every file found there.
function(velmora_add_translations target)
  cmake_parse_arguments(ARG "" "" "TS_FILES" ${ARGN})
  set(ts_files "")
  foreach(ts IN LISTS ARG_TS_FILES)
    list(APPEND ts_files ${CMAKE_SOURCE_DIR}/resources/translations/${ts})
  endforeach()
  set_source_files_properties(${ts_files} PROPERTIES OUTPUT_LOCATION ${CMAKE_CURRENT_BINARY_DIR}/translations)
  qt_add_lrelease(${target} TS_FILES ${ts_files} QM_FILES_OUTPUT_VARIABLE qm_files OPTIONS -silent)
  qt_add_resources(${target} "${target}_translations" PREFIX "/translations"
    BASE ${CMAKE_CURRENT_BINARY_DIR}/translations FILES ${qm_files})
endfunction()
