# drelmoor_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS x])
# One GoogleTest program, registered with CTest test by test so that a
# failure names the case. Every test runs in a boot volume of its own,
# which the test helpers create; nothing here points at the user's volume.
find_package(GTest REQUIRED)
include(GoogleTest)

function(drelmoor_add_test name)
	cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
	add_executable(${name} ${ARG_SOURCES})
	target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
	set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
	# An empty label list would swallow the next property's name, so the
	# labels are named only when there are some.
	set(properties TIMEOUT 120)
	if(ARG_LABELS)
		list(APPEND properties LABELS "${ARG_LABELS}")
	endif()
	gtest_discover_tests(${name}
		WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
		PROPERTIES ${properties}
		DISCOVERY_TIMEOUT 60)
endfunction()
