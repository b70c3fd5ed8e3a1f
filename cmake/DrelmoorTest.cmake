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

# drelmoor_add_python_cases(PREFIX SCRIPT TIMEOUT [LABELS x] [BY_METHOD]
#     [ARGS ...] [ENVIRONMENT ...])
# Every case of a Python unittest file, each a CTest test of its own named
# PREFIX.Class.test_case (PREFIX.case with BY_METHOD, for a file whose
# methods are named test_Case), read from the file itself: a class at the
# left margin and its "def test_..." methods. The configuration runs again
# when the file changes, so a case written there is a case that runs. The
# script gets ARGS, then Class.test_case.
function(drelmoor_add_python_cases prefix script timeout)
	cmake_parse_arguments(ARG "BY_METHOD" "" "LABELS;ARGS;ENVIRONMENT" ${ARGN})
	set(path ${CMAKE_CURRENT_SOURCE_DIR}/${script})
	set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
	file(STRINGS ${path} lines REGEX "^(class |    def test_)")
	set(class "")
	set(cases)
	foreach(line IN LISTS lines)
		# Every class starts afresh, so that no helper class lends its
		# methods to the case class before it.
		if(line MATCHES "^class ([A-Za-z0-9_]+)")
			set(class ${CMAKE_MATCH_1})
		elseif(line MATCHES "^    def (test_([A-Za-z0-9_]+))\\(" AND class)
			set(method ${CMAKE_MATCH_1})
			if(ARG_BY_METHOD)
				set(name ${prefix}.${CMAKE_MATCH_2})
			else()
				set(name ${prefix}.${class}.${method})
			endif()
			add_test(NAME ${name}
				COMMAND ${DEBIAN_PYTHON3} ${path} ${ARG_ARGS} ${class}.${method})
			list(APPEND cases ${name})
		endif()
	endforeach()
	_drelmoor_case_properties("${path}" "${cases}" ${timeout}
		"${ARG_LABELS}" "${ARG_ENVIRONMENT}")
endfunction()

# drelmoor_add_node_cases(PREFIX SCRIPT TIMEOUT [LABELS x] [ARGS ...])
# Every case of a node test file, each a CTest test named PREFIX.Case, read
# from the file's table of cases ("const cases = {" and each
# "	async Case() {" in it) and found again whenever the file changes. The
# script gets ARGS, then a folder of the build for the case's output, then
# the case's name.
function(drelmoor_add_node_cases prefix script timeout)
	cmake_parse_arguments(ARG "" "" "LABELS;ARGS" ${ARGN})
	set(path ${CMAKE_CURRENT_SOURCE_DIR}/${script})
	set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
	file(STRINGS ${path} lines REGEX "^(const cases = {|}|\tasync [A-Za-z0-9_]+\\(\\) {)")
	set(inside FALSE)
	set(cases)
	foreach(line IN LISTS lines)
		if(line MATCHES "^const cases = {")
			set(inside TRUE)
		elseif(line MATCHES "^}")
			set(inside FALSE)
		elseif(inside AND line MATCHES "^\tasync ([A-Za-z0-9_]+)\\(\\) {")
			set(case ${CMAKE_MATCH_1})
			add_test(NAME ${prefix}.${case}
				COMMAND node ${path} ${ARG_ARGS}
					${CMAKE_BINARY_DIR}/tests/output/${case} ${case})
			list(APPEND cases ${prefix}.${case})
		endif()
	endforeach()
	_drelmoor_case_properties("${path}" "${cases}" ${timeout} "${ARG_LABELS}" "")
endfunction()

# A file in which no case was found is a mistake in the file or in the
# reading of it, never a suite that passes by running nothing.
function(_drelmoor_case_properties path cases timeout labels environment)
	if(NOT cases)
		message(FATAL_ERROR "no test case found in ${path}")
	endif()
	# A property at a time: a list of labels or variables stays one value.
	set_tests_properties(${cases} PROPERTIES TIMEOUT ${timeout})
	if(labels)
		set_tests_properties(${cases} PROPERTIES LABELS "${labels}")
	endif()
	if(environment)
		set_tests_properties(${cases} PROPERTIES ENVIRONMENT "${environment}")
	endif()
endfunction()
