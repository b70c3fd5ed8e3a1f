# drelmoor_add_fuzzer(NAME SOURCES a.cpp... [LIBS ...] [INCLUDES ...]
#     CORPUS folder RUNS n [MAX_LEN bytes] [OPTIONS -flag=value...])
# One libFuzzer target (clang, -DBUILD_FUZZERS=ON), registered as a CTest
# test that runs a bounded number of inputs from the seed corpus in the
# tree, with a fixed seed so that every run of the suite does the same.
# New inputs go to a folder of the build; the tree's corpus is only read.
# Each target is also listed in fuzzers.txt of the build, which
# tools/run-fuzzers reads to run every target for longer (make fuzz).
function(drelmoor_add_fuzzer name)
	cmake_parse_arguments(ARG "" "CORPUS;RUNS;MAX_LEN"
		"SOURCES;LIBS;INCLUDES;OPTIONS" ${ARGN})
	if(NOT ARG_MAX_LEN)
		set(ARG_MAX_LEN 4096)
	endif()
	add_executable(${name} ${ARG_SOURCES})
	target_include_directories(${name} PRIVATE ${ARG_INCLUDES})
	target_link_libraries(${name} PRIVATE ${ARG_LIBS})
	target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined
		-fno-sanitize-recover=undefined)
	target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
	set_target_properties(${name} PROPERTIES
		RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

	set(work ${CMAKE_BINARY_DIR}/fuzz/${name})
	file(MAKE_DIRECTORY ${work})
	add_test(NAME ${name}
		COMMAND ${name} -runs=${ARG_RUNS} -seed=1 -max_len=${ARG_MAX_LEN}
			-timeout=25 ${ARG_OPTIONS}
			${work} ${ARG_CORPUS})
	set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
	string(JOIN " " options ${ARG_OPTIONS})
	file(APPEND ${CMAKE_BINARY_DIR}/fuzzers.txt
		"${name}\t${CMAKE_BINARY_DIR}/tests/${name}\t${work}\t${ARG_CORPUS}\t${ARG_MAX_LEN}\t${options}\n")
endfunction()

# Code that a fuzzer reaches through a library of the tree is instrumented
# for the fuzzer's coverage (and checked by its sanitizers) in a copy of that
# library made for the fuzzers: the same sources and interface.
function(drelmoor_add_fuzzing_copy copy original)
	get_target_property(listed ${original} SOURCES)
	get_target_property(folder ${original} SOURCE_DIR)
	# Sources are listed relative to the folder of the library's own list.
	set(sources)
	foreach(source ${listed})
		if(IS_ABSOLUTE ${source})
			list(APPEND sources ${source})
		else()
			list(APPEND sources ${folder}/${source})
		endif()
	endforeach()
	get_target_property(includes ${original} INTERFACE_INCLUDE_DIRECTORIES)
	get_target_property(libraries ${original} INTERFACE_LINK_LIBRARIES)
	add_library(${copy} STATIC ${sources})
	target_include_directories(${copy} PUBLIC ${includes})
	target_link_libraries(${copy} PUBLIC ${libraries})
	target_compile_options(${copy} PRIVATE
		-fsanitize=fuzzer-no-link,address,undefined
		-fno-sanitize-recover=undefined)
endfunction()
