# Checks the cross-built vexmor.exe from the outside.  Run as
#   cmake -DCHECK=exports|imports|hardening|timestamps -DEXE=vexmor.exe
#         [-DOBJDUMP=x86_64-w64-mingw32-objdump] -P check_executable.cmake
# exports: its PE export table lists check_flag and nothing else;
# imports: it imports only DLLs that every Windows has, so the compiler's
#          runtime (libgcc, libssp, libstdc++, winpthread) is linked in;
# hardening: address space randomisation (DYNAMIC_BASE with HIGH_ENTROPY_VA),
#          data execution prevention (NX_COMPAT) and the stack protector;
# timestamps: no link time in the COFF header or the export directory.
# The plain signal is searched for by the Linux suite, as on every platform
# (tests/cross).

cmake_minimum_required(VERSION 3.25)

function(fail message)
	message(FATAL_ERROR " ${message}")
endfunction()

# The lines of `objdump -p`, as a list.
function(read_private_headers out)
	execute_process(COMMAND "${OBJDUMP}" -p "${EXE}"
		OUTPUT_VARIABLE headers RESULT_VARIABLE status)
	if(NOT status EQUAL 0)
		fail("${OBJDUMP} -p ${EXE} failed")
	endif()
	string(REPLACE ";" "," headers "${headers}")
	string(REPLACE "\n" ";" headers "${headers}")
	set(${out} "${headers}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "exports")
	read_private_headers(lines)
	# The names stand one a line after this heading, up to a blank line.
	set(names "")
	set(in_table FALSE)
	foreach(line IN LISTS lines)
		if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
			set(in_table TRUE)
		elseif(in_table AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
			list(APPEND names "${CMAKE_MATCH_1}")
		elseif(in_table)
			break()
		endif()
	endforeach()
	message(STATUS "exports: ${names}")
	if(NOT names STREQUAL "check_flag")
		fail("the export table must list exactly check_flag, not '${names}'")
	endif()

elseif(CHECK STREQUAL "imports")
	read_private_headers(lines)
	set(dlls "")
	foreach(line IN LISTS lines)
		if(line MATCHES "^[ \t]*DLL Name: (.+)$")
			list(APPEND dlls "${CMAKE_MATCH_1}")
		endif()
	endforeach()
	message(STATUS "imports: ${dlls}")
	if(NOT dlls)
		fail("no imported DLL found; is ${EXE} a PE executable?")
	endif()
	foreach(dll IN LISTS dlls)
		string(TOLOWER "${dll}" dll_lower)
		# advapi32.dll seeds the stack protector's guard.
		if(NOT dll_lower MATCHES "^(advapi32|kernel32|msvcrt)\\.dll$")
			fail("imports ${dll}, which would have to be shipped beside the .exe")
		endif()
	endforeach()

elseif(CHECK STREQUAL "hardening")
	read_private_headers(lines)
	foreach(flag IN ITEMS DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT)
		if(NOT lines MATCHES "(^|;)[ \t]*${flag}(;|$)")
			fail("${EXE} lacks ${flag} among its DllCharacteristics")
		endif()
	endforeach()
	execute_process(COMMAND "${OBJDUMP}" -t "${EXE}" OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
	if(NOT status EQUAL 0 OR NOT symbols MATCHES "[ \t]__stack_chk_fail\n")
		fail("${EXE} has no stack protector (no __stack_chk_fail in its symbol table)")
	endif()
	message(STATUS "DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT and the stack protector are set")

elseif(CHECK STREQUAL "timestamps")
	# No build time in the COFF header or the export directory, so that one
	# commit links to the same bytes whenever it is built.
	read_private_headers(lines)
	foreach(line IN LISTS lines)
		if(line MATCHES "^Time/Date stamp[ \t]+(.*)$")
			set(stamp "${CMAKE_MATCH_1}")
			if(NOT stamp STREQUAL "0")
				fail("${EXE} carries a time in its export directory: ${stamp}")
			endif()
		elseif(line MATCHES "^Time/Date[ \t]+(.*)$")
			set(stamp "${CMAKE_MATCH_1}")
			if(NOT stamp STREQUAL "Thu Jan  1 00:00:00 1970")
				fail("${EXE} carries a link time in its COFF header: ${stamp}")
			endif()
		endif()
	endforeach()
	message(STATUS "no link time in the COFF header or the export directory")

else()
	fail("CHECK must be exports, imports, hardening or timestamps, not '${CHECK}'")
endif()
