# add_tool_test(NAME TOOL PACKAGE COMMAND...) registers a test whose command
# needs TOOL, which the build does not. Without TOOL the test still runs and
# is reported as skipped, saying which Debian package brings it, so that a
# check never drops out of the list unseen.
function(add_tool_test name tool package)
	add_test(NAME ${name}
		COMMAND sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/skip_without.sh
			${tool} ${package} ${ARGN})
	set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
	find_program(TOOL_${tool} ${tool})
	if(NOT TOOL_${tool})
		message(STATUS "${name} will be skipped: ${tool} is missing "
			"(Debian package ${package})")
	endif()
endfunction()
