# One static library per folder of src/, built from every source file in it.
# zuvo_library(<folder> [DEPS <libs...>] [PRIVATE_DEPS <libs...>])
#   DEPS are part of the library's interface: their headers are on every user's include path.
#   PRIVATE_DEPS are the library's own business: linked, but their headers are on no other
#   folder's include path (Qt for platform), so an include of them outside the folder fails.
# Headers under <folder>/internal/ belong to the folder alone: each starts by checking
# ZUVO_INTERNAL_<FOLDER>, which only the folder's own sources (and its own test program, see
# zuvo_internal_access) are compiled with.
function(zuvo_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  set(target zuvo_${folder})
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    target_link_libraries(${target} PRIVATE ${ARG_PRIVATE_DEPS})
    string(TOUPPER "${folder}" upper)
    target_compile_definitions(${target} PRIVATE ZUVO_INTERNAL_${upper})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
  set_property(GLOBAL APPEND PROPERTY ZUVO_LIBRARIES ${target})
  set_property(GLOBAL PROPERTY ZUVO_PRIVATE_DEPS_${target} ${ARG_PRIVATE_DEPS})
endfunction()

# Lets a test program reach a library's internal headers and its private dependencies (the
# platform tests read backing images and drive Qt widgets).
# zuvo_internal_access(<test target> <folder>)
function(zuvo_internal_access target folder)
  string(TOUPPER "${folder}" upper)
  target_compile_definitions(${target} PRIVATE ZUVO_INTERNAL_${upper})
  get_property(private GLOBAL PROPERTY ZUVO_PRIVATE_DEPS_zuvo_${folder})
  target_link_libraries(${target} PRIVATE ${private})
endfunction()

# The build's layering rules as tests. For every library of src/, the compiler is run on
# one-line files with exactly the include paths and definitions that library's own sources get:
# - a Qt header must fail for want of the header (every library but platform);
# - every other folder's internal/Guard.h must fail with its "internal to src/<folder>" error;
# - a public platform header must compile, so that a broken command cannot pass as a refusal.
# A last test checks that every header under src/*/internal/ starts with its folder's guard.
# zuvo_layering_tests()
function(zuvo_layering_tests)
  set(probes ${PROJECT_BINARY_DIR}/layering)
  file(WRITE ${probes}/qt.cpp "#include <QString>\n")
  file(WRITE ${probes}/public.cpp "#include \"platform/WinUser.h\"\n#include \"platform/Message.h\"\n")
  file(GLOB guards CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*/internal/Guard.h)
  set(guarded_folders "")
  foreach(guard IN LISTS guards)
    get_filename_component(internal_dir ${guard} DIRECTORY)
    get_filename_component(folder_dir ${internal_dir} DIRECTORY)
    get_filename_component(folder ${folder_dir} NAME)
    list(APPEND guarded_folders ${folder})
    file(WRITE ${probes}/internal_${folder}.cpp "#include \"${folder}/internal/Guard.h\"\n")
  endforeach()

  get_property(libraries GLOBAL PROPERTY ZUVO_LIBRARIES)
  foreach(library IN LISTS libraries)
    string(REGEX REPLACE "^zuvo_" "" own_folder ${library})
    get_target_property(type ${library} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      set(includes "$<TARGET_PROPERTY:${library},INTERFACE_INCLUDE_DIRECTORIES>")
      set(definitions "$<TARGET_PROPERTY:${library},INTERFACE_COMPILE_DEFINITIONS>")
    else()
      set(includes "$<TARGET_PROPERTY:${library},INCLUDE_DIRECTORIES>")
      set(definitions "$<TARGET_PROPERTY:${library},COMPILE_DEFINITIONS>")
    endif()
    # A response file holds the flags: the lists are only known at generation time.
    set(flags ${probes}/${library}.rsp)
    file(GENERATE OUTPUT ${flags} CONTENT
         "-std=c++20\n-fsyntax-only\n$<$<BOOL:${includes}>:-I$<JOIN:${includes},\n-I>>\n$<$<BOOL:${definitions}>:-D$<JOIN:${definitions},\n-D>>\n")
    if(NOT own_folder STREQUAL "platform")
      add_test(NAME Layering.${library}.QtHeaderRefused
               COMMAND ${CMAKE_CXX_COMPILER} @${flags} ${probes}/qt.cpp)
      set_tests_properties(Layering.${library}.QtHeaderRefused PROPERTIES
                           PASS_REGULAR_EXPRESSION "QString: No such file or directory")
    endif()
    foreach(folder IN LISTS guarded_folders)
      if(folder STREQUAL own_folder)
        continue()
      endif()
      add_test(NAME Layering.${library}.${folder}InternalHeaderRefused
               COMMAND ${CMAKE_CXX_COMPILER} @${flags} ${probes}/internal_${folder}.cpp)
      set_tests_properties(Layering.${library}.${folder}InternalHeaderRefused PROPERTIES
                           PASS_REGULAR_EXPRESSION "internal to src/${folder}")
    endforeach()
    add_test(NAME Layering.${library}.PublicPlatformHeaderCompiles
             COMMAND ${CMAKE_CXX_COMPILER} @${flags} ${probes}/public.cpp)
  endforeach()

  add_test(NAME Layering.InternalHeadersStartWithTheirGuard
           COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                   -P ${PROJECT_SOURCE_DIR}/cmake/CheckInternalHeaders.cmake)
endfunction()

# One GoogleTest executable per folder of tests/, linking the library it tests.
# zuvo_tests(<folder> DEPS <libs...>)
function(zuvo_tests folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target test_${folder})
  add_executable(${target} ${sources})
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} zuvo_testsupport GTest::gtest GTest::gmock)
  # One ctest entry per test suite, run in a process of its own: a process per test cost more
  # in start-up (a sanitized binary with Qt) than most tests take. Suites are found in the
  # sources, which are configure dependencies so that a new suite is registered at the next
  # build; a check entry fails when the binary holds a suite that is not registered.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${sources})
  set(suites "")
  foreach(source IN LISTS sources)
    file(READ ${source} content)
    string(REGEX MATCHALL "[^A-Za-z0-9_](TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)\\([ \t\r\n]*[A-Za-z_][A-Za-z0-9_]*[ \t\r\n]*,"
           found "\n${content}")
    foreach(match IN LISTS found)
      string(REGEX REPLACE ".*\\([ \t\r\n]*([A-Za-z0-9_]+).*" "\\1" suite "${match}")
      list(APPEND suites ${suite})
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES suites)
  # The kill tests fork a sanitized process hundreds of times and wait on the disk; on a loaded
  # machine they need minutes, so the limit that catches a hang is generous.
  foreach(suite IN LISTS suites)
    add_test(NAME ${folder}.${suite}
             COMMAND ${target} --gtest_filter=${suite}.*:*/${suite}.*:${suite}/*)
    set_tests_properties(${folder}.${suite} PROPERTIES
      ENVIRONMENT "ZUVO_TOOLS_DIR=${PROJECT_BINARY_DIR}/tools"
      TIMEOUT 600)
  endforeach()
  string(REPLACE ";" "," suite_words "${suites}")
  add_test(NAME ${folder}.EverySuiteIsRegistered
           COMMAND ${CMAKE_COMMAND} -DBINARY=$<TARGET_FILE:${target}> -DSUITES=${suite_words}
                   -P ${PROJECT_SOURCE_DIR}/cmake/CheckTestSuites.cmake)
  set_tests_properties(${folder}.EverySuiteIsRegistered PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
