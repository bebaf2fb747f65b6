# Checks the signal and key constants chosen for a build and derives the
# scrambled table from them, so that the plain signal lives only in the build
# configuration and never in a source file or in the executable.
#
# Included by the project, it defines vexmor_derive_signal().  Run as a script,
#   cmake -DVEXMOR_SIGNAL=... -DVEXMOR_KEY_MULTIPLIER=... -DVEXMOR_KEY_ADDEND=... -P VexmorSignal.cmake
# it prints the derived table, or fails with the same message the configure
# step gives.

set(VEXMOR_FLAG_LENGTH 26)
set(VEXMOR_UINT64_MAX "18446744073709551615")

# One line that names the variable and the fault.  The leading blank keeps
# CMake from wrapping the message over several lines.
function(_vexmor_reject name fault)
	message(FATAL_ERROR " ${name}: ${fault}")
endfunction()

# CMake's integers are signed 64-bit, too small for the constants' full range.
# Only the low byte of each constant reaches a key byte, since
# (position * multiplier + addend) mod 256 depends on nothing else, so the
# decimal digits are reduced modulo 256 one at a time.
function(_vexmor_parse_constant name value out_decimal out_low_byte)
	if(NOT value MATCHES "^[0-9]+$")
		_vexmor_reject(${name} "not a decimal integer from 0 to ${VEXMOR_UINT64_MAX}")
	endif()
	string(REGEX REPLACE "^0+([0-9])" "\\1" digits "${value}")
	string(LENGTH "${digits}" width)
	if(width GREATER 20 OR (width EQUAL 20 AND digits STRGREATER VEXMOR_UINT64_MAX))
		_vexmor_reject(${name} "out of range: ${digits} is above ${VEXMOR_UINT64_MAX}")
	endif()
	set(low 0)
	string(REGEX MATCHALL "[0-9]" digit_list "${digits}")
	foreach(digit IN LISTS digit_list)
		math(EXPR low "(${low} * 10 + ${digit}) % 256")
	endforeach()
	set(${out_decimal} "${digits}" PARENT_SCOPE)
	set(${out_low_byte} "${low}" PARENT_SCOPE)
endfunction()

# Sets, in the caller's scope:
#   VEXMOR_KEY_MULTIPLIER_DECIMAL, VEXMOR_KEY_ADDEND_DECIMAL
#       the constants without leading zeros, fit for a C++ literal;
#   VEXMOR_SCRAMBLED_FLAG  the table's entries, comma-separated;
#   VEXMOR_SIGNAL_HEX      the signal's bytes in hexadecimal, for the tests.
function(vexmor_derive_signal signal multiplier addend)
	_vexmor_parse_constant(VEXMOR_KEY_MULTIPLIER "${multiplier}" multiplier_decimal multiplier_low)
	_vexmor_parse_constant(VEXMOR_KEY_ADDEND "${addend}" addend_decimal addend_low)

	# Work on the hexadecimal form: it counts bytes, not characters, and no
	# byte of the signal can be taken for list or variable syntax.
	string(HEX "${signal}" hex)
	string(LENGTH "${hex}" hex_length)
	math(EXPR length "${hex_length} / 2")
	if(NOT length EQUAL VEXMOR_FLAG_LENGTH)
		_vexmor_reject(VEXMOR_SIGNAL "${length} bytes long; it must be exactly ${VEXMOR_FLAG_LENGTH}")
	endif()

	set(table "")
	set(all_keys_zero TRUE)
	math(EXPR last "${VEXMOR_FLAG_LENGTH} - 1")
	foreach(position RANGE ${last})
		math(EXPR offset "${position} * 2")
		string(SUBSTRING "${hex}" ${offset} 2 byte)
		if(byte STREQUAL "0a")
			_vexmor_reject(VEXMOR_SIGNAL "line feed at byte ${position}, where an input line would end")
		endif()
		if(position EQUAL last AND byte STREQUAL "0d")
			_vexmor_reject(VEXMOR_SIGNAL "ends in a carriage return, which input lines lose")
		endif()
		math(EXPR key "(${position} * ${multiplier_low} + ${addend_low}) % 256")
		if(NOT key EQUAL 0)
			set(all_keys_zero FALSE)
		endif()
		math(EXPR entry "0x${byte} ^ ${key}" OUTPUT_FORMAT HEXADECIMAL)
		list(APPEND table "${entry}")
	endforeach()
	if(all_keys_zero)
		_vexmor_reject("VEXMOR_KEY_MULTIPLIER and VEXMOR_KEY_ADDEND" "every key byte is zero, which would store the signal in plain")
	endif()

	list(JOIN table ", " table)
	set(VEXMOR_KEY_MULTIPLIER_DECIMAL "${multiplier_decimal}" PARENT_SCOPE)
	set(VEXMOR_KEY_ADDEND_DECIMAL "${addend_decimal}" PARENT_SCOPE)
	set(VEXMOR_SCRAMBLED_FLAG "${table}" PARENT_SCOPE)
	set(VEXMOR_SIGNAL_HEX "${hex}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
	vexmor_derive_signal("${VEXMOR_SIGNAL}" "${VEXMOR_KEY_MULTIPLIER}" "${VEXMOR_KEY_ADDEND}")
	message(STATUS "scrambled_flag: ${VEXMOR_SCRAMBLED_FLAG}")
endif()
