# The C library the programs are built over. By default it is the
# toolchain's own. With PROGRAMS_MUSL the programs alone are linked
# statically against musl, through a file of gcc driver rules that puts
# musl's headers, start files and libc.a in the place of the toolchain's;
# the tests stay on the toolchain's C library.
#
# Sets PROGRAM_LIBC_OPTIONS (added to every program target), LINK_OPTIONS_
# and PIE_ for each program (evaluator, flush_daemon), and
# PROGRAM_LIBC_DEFINITIONS and HOST_LIBC_DEFINITIONS (a HAVE_ definition for
# each optional function the programs' and the toolchain's C library
# declare).
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
set(PROGRAM_LIBC_DEFINITIONS ${HOST_LIBC_DEFINITIONS})
foreach(program evaluator flush_daemon)
	set(LINK_OPTIONS_${program})
	set(PIE_${program} ON)
	if(PROGRAMS_STATIC)
		set(LINK_OPTIONS_${program} -static)
		set(PIE_${program} OFF)
	endif()
endforeach()
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
set(driver ${CMAKE_BINARY_DIR}/musl-driver)
configure_file(${CMAKE_CURRENT_LIST_DIR}/musl-driver.in ${driver} @ONLY)

# The rules leave out gcc's crtbegin and crtend: musl needs neither (they
# register exception frames and transactional-memory clones, which the
# programs have none of), and each start is about 100 instructions cheaper.
# The C++ library's own wrappers of the C headers are made for the
# toolchain's C library; the programs include the C headers themselves.
set(PROGRAM_LIBC_OPTIONS -specs=${driver} $<$<COMPILE_LANGUAGE:CXX>:-nostdinc++>)
set(CMAKE_REQUIRED_FLAGS "-specs=${driver} -fPIE")
list(APPEND PROGRAM_LIBC_OPTIONS -fPIE)
set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
check_c_source_compiles("int main(void) { return 0; }" MUSL_STATIC_PIE)
# update, a long-lived daemon of the superuser's, is a static PIE where the
# toolchain can make one, so that address randomisation holds for it too.
# test is not: it lives for a moment, and a static PIE relocates itself at
# every start, some 700 instructions, more than half again what a run of
# [ costs.
# Not on i386, whose 486 build runs on kernels before 2.4 too: those load
# it (at 0x80000000) but give a program without an interpreter no
# AT_PHDR, from which musl's start-up finds where it was loaded, so it
# relocates itself as if at 0 and dies of SIGSEGV before main. Linked
# plainly, it gives up address randomisation of its own code and data.
set(LINK_OPTIONS_evaluator -specs=${driver} -static)
set(PIE_evaluator OFF)
if(MUSL_STATIC_PIE AND EXISTS ${MUSL_LIBDIR}/rcrt1.o AND
   NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$")
	set(LINK_OPTIONS_flush_daemon -specs=${driver} -static-pie)
else()
	set(LINK_OPTIONS_flush_daemon -specs=${driver} -static)
	set(PIE_flush_daemon OFF)
endif()
set(CMAKE_REQUIRED_FLAGS "-specs=${driver}")
set(CMAKE_REQUIRED_LINK_OPTIONS ${LINK_OPTIONS_evaluator})
libc_features(MUSL_ PROGRAM_LIBC_DEFINITIONS)
