# The C library the programs are built over. By default it is the
# toolchain's own. With PROGRAMS_MUSL the programs alone are linked
# statically against musl, through a specs file that puts musl's headers,
# start files and libc.a in the place of the toolchain's; the tests stay on
# the toolchain's C library.
#
# Sets PROGRAM_LIBC_OPTIONS and PROGRAM_LIBC_LINK_OPTIONS (added to every
# program target), PROGRAM_LIBC_DEFINITIONS and HOST_LIBC_DEFINITIONS (a
# HAVE_ definition for each optional function the programs' and the
# toolchain's C library declare), and PROGRAMS_PIE.
include(CheckCSourceCompiles)
include(CheckSymbolExists)

function(libc_features prefix out)
	set(CMAKE_REQUIRED_DEFINITIONS -D_GNU_SOURCE)
	set(found)
	foreach(function group_member close_range)
		string(TOUPPER ${function} name)
		check_symbol_exists(${function} unistd.h ${prefix}HAVE_${name})
		if(${prefix}HAVE_${name})
			list(APPEND found HAVE_${name})
		endif()
	endforeach()
	set(${out} ${found} PARENT_SCOPE)
endfunction()

libc_features("" HOST_LIBC_DEFINITIONS)
set(PROGRAM_LIBC_OPTIONS)
set(PROGRAM_LIBC_LINK_OPTIONS)
set(PROGRAM_LIBC_DEFINITIONS ${HOST_LIBC_DEFINITIONS})
set(PROGRAMS_PIE ON)
if(PROGRAMS_STATIC)
	set(PROGRAM_LIBC_LINK_OPTIONS -static)
	set(PROGRAMS_PIE OFF)
endif()
if(NOT PROGRAMS_MUSL)
	return()
endif()

# Debian puts musl beside the toolchain's multiarch directories.
string(REPLACE "-gnu" "-musl" musl_triplet "${CMAKE_LIBRARY_ARCHITECTURE}")
set(MUSL_LIBDIR /usr/lib/${musl_triplet} CACHE PATH
	"musl's libc.a and start files")
set(MUSL_INCLUDEDIR /usr/include/${musl_triplet} CACHE PATH
	"musl's headers")
if(NOT EXISTS ${MUSL_LIBDIR}/libc.a OR NOT EXISTS ${MUSL_INCLUDEDIR}/stdio.h)
	message(FATAL_ERROR "musl is missing from ${MUSL_LIBDIR} and "
		"${MUSL_INCLUDEDIR}: scripts/install-deps musl installs it")
endif()
set(specs ${CMAKE_BINARY_DIR}/musl.specs)
configure_file(${CMAKE_CURRENT_LIST_DIR}/musl.specs.in ${specs} @ONLY)

# The C++ library's own wrappers of the C headers are made for the
# toolchain's C library; the programs include the C headers themselves.
set(PROGRAM_LIBC_OPTIONS -specs=${specs} $<$<COMPILE_LANGUAGE:CXX>:-nostdinc++>)
set(CMAKE_REQUIRED_FLAGS "-specs=${specs} -fPIE")
set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
check_c_source_compiles("int main(void) { return 0; }" MUSL_STATIC_PIE)
# A static PIE keeps address randomisation; older toolchains link -static.
if(MUSL_STATIC_PIE AND EXISTS ${MUSL_LIBDIR}/rcrt1.o)
	list(APPEND PROGRAM_LIBC_OPTIONS -fPIE)
	set(PROGRAM_LIBC_LINK_OPTIONS -specs=${specs} -static-pie)
else()
	set(PROGRAM_LIBC_LINK_OPTIONS -specs=${specs} -static)
	set(PROGRAMS_PIE OFF)
endif()
set(CMAKE_REQUIRED_FLAGS "-specs=${specs}")
set(CMAKE_REQUIRED_LINK_OPTIONS ${PROGRAM_LIBC_LINK_OPTIONS})
libc_features(MUSL_ PROGRAM_LIBC_DEFINITIONS)
