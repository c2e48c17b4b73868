# Registers a test executable with CTest; one line per test folder:
#
#   sedalyn_add_tests(<target> LABELS <label>... [TEST_PREFIX <prefix>]
#                     [ENVIRONMENT <VAR=value>...])
#
# A GoogleTest executable (linked to GTest::...) has its tests listed by
# itself when CTest runs. A QtTest executable (tests/common/QtTestMain.h) gets
# one test per class, <target>.<Class>, run offscreen; the classes are the
# SEDALYN_TEST_CLASS(Name) lines of its sources, read again whenever one of
# them changes, and the executable refuses to run if the classes registered in
# code differ from them, so that no class is left out of CTest unseen.
#
# Labels say what a test needs and who runs it (ctest -L <label>):
#   unit       plain engine, file and logic tests: fast, no widgets
#   gui        QtTest classes that create widgets (offscreen)
#   e2e        real processes: the installed program under Xvfb, kill-and-resume
#   threaded   the threaded timer and the journal writer (ThreadSanitizer's set)
#   packaging  the documents and command lines of the package
# The target sedalyn_tests_<label> builds every executable that holds tests of
# that label.
set(SEDALYN_TEST_LABELS unit gui e2e threaded packaging)

function(sedalyn_check_labels what)
  if(ARGC LESS 2)
    message(FATAL_ERROR "${what}: give it LABELS, from: ${SEDALYN_TEST_LABELS}")
  endif()
  foreach(label IN LISTS ARGN)
    if(NOT label IN_LIST SEDALYN_TEST_LABELS)
      message(FATAL_ERROR "${what}: unknown test label '${label}' (known: ${SEDALYN_TEST_LABELS})")
    endif()
  endforeach()
endfunction()

# sedalyn_label_tests(LABELS <label>... TESTS <test>...): for tests added with
# add_test in the calling folder.
function(sedalyn_label_tests)
  cmake_parse_arguments(ARG "" "" "LABELS;TESTS" ${ARGN})
  sedalyn_check_labels("${ARG_TESTS}" ${ARG_LABELS})
  set_tests_properties(${ARG_TESTS} PROPERTIES LABELS "${ARG_LABELS}")
endfunction()

# The names in the SEDALYN_TEST_CLASS(Name) lines of the target's sources,
# sorted as the executable's registry sorts them.
function(sedalyn_registered_test_classes target out)
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(classes)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${source_dir}")
    if(NOT source MATCHES "\\.(cpp|cc|cxx|h|hpp)$" OR NOT EXISTS "${source}")
      continue()
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
    file(STRINGS "${source}" lines REGEX "^[ \t]*SEDALYN_TEST_CLASS[ \t]*\\(")
    foreach(line IN LISTS lines)
      if(NOT line MATCHES "^[ \t]*SEDALYN_TEST_CLASS[ \t]*\\([ \t]*([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\)")
        message(FATAL_ERROR "${source}: cannot read the class name from: ${line}")
      endif()
      list(APPEND classes ${CMAKE_MATCH_1})
    endforeach()
  endforeach()
  list(SORT classes)
  set(${out} "${classes}" PARENT_SCOPE)
endfunction()

function(sedalyn_add_tests target)
  cmake_parse_arguments(ARG "" "TEST_PREFIX" "LABELS;ENVIRONMENT;CLASSES" ${ARGN})
  sedalyn_check_labels(${target} ${ARG_LABELS})
  foreach(label IN LISTS ARG_LABELS)
    if(NOT TARGET sedalyn_tests_${label})
      add_custom_target(sedalyn_tests_${label})
    endif()
    add_dependencies(sedalyn_tests_${label} ${target})
  endforeach()

  get_target_property(libraries ${target} LINK_LIBRARIES)
  if(libraries MATCHES "(^|;)GTest::")
    if(ARG_CLASSES)
      message(FATAL_ERROR "${target}: CLASSES is for QtTest executables")
    endif()
    include(GoogleTest)
    gtest_discover_tests(${target} TEST_PREFIX "${ARG_TEST_PREFIX}" DISCOVERY_MODE PRE_TEST)
    # Set after the listing: its PROPERTIES option splits list values (two
    # labels) into separate properties.
    set(labeller ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
    set(labels "${ARG_LABELS}")
    set(environment "${ARG_ENVIRONMENT}")
    file(CONFIGURE OUTPUT ${labeller} CONTENT [=[
if(@target@_TESTS)
  set_tests_properties(${@target@_TESTS} PROPERTIES LABELS "@labels@" ENVIRONMENT "@environment@")
endif()
]=] @ONLY)
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labeller})
    return()
  endif()

  sedalyn_registered_test_classes(${target} classes)
  if(NOT classes)
    message(FATAL_ERROR "${target}: no SEDALYN_TEST_CLASS(Name) line in its sources")
  endif()
  if(DEFINED ARG_CLASSES)
    list(SORT ARG_CLASSES)
    if(NOT ARG_CLASSES STREQUAL classes)
      message(FATAL_ERROR "${target}: CLASSES (${ARG_CLASSES}) differ from the classes "
                          "its sources register (${classes}); leave CLASSES out")
    endif()
  endif()
  set(listed ${CMAKE_CURRENT_BINARY_DIR}/${target}_listed_classes.cpp)
  file(CONFIGURE OUTPUT ${listed} CONTENT [=[
// Made by CMake: the test classes that CTest runs one by one.
namespace sedalyn_test {
extern const char* const ListedClasses;
const char* const ListedClasses = "@classes@";
} // namespace sedalyn_test
]=] @ONLY)
  target_sources(${target} PRIVATE ${listed})
  foreach(class IN LISTS classes)
    add_test(NAME ${target}.${class} COMMAND ${target} -class ${class})
    set_tests_properties(${target}.${class} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}"
      LABELS "${ARG_LABELS}"
      TIMEOUT 300)
  endforeach()
endfunction()

# The former form: CLASSES is checked against the sources; widget tests
# unless LABELS says otherwise.
function(sedalyn_add_qt_tests target)
  cmake_parse_arguments(ARG "" "" "LABELS;CLASSES;ENVIRONMENT" ${ARGN})
  if(NOT ARG_LABELS)
    set(ARG_LABELS gui)
  endif()
  sedalyn_add_tests(${target} LABELS ${ARG_LABELS} CLASSES ${ARG_CLASSES} ENVIRONMENT ${ARG_ENVIRONMENT})
endfunction()
