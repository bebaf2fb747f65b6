/* Same table, same key rule, same order of work as check_flag: measure the
 * length, then compare byte by byte and stop at the first difference.  It is
 * written the way anyone would write it first, and compiled at -O2, so that
 * check_flag has a fair floor to beat. */
#include "plain_check.h"

#include <stdint.h>
#include <string.h>

#include "flag_table.h"

static const uint8_t scrambled_flag[] = {VEXMOR_SCRAMBLED_FLAG};

int plain_check_flag(const char *candidate)
{
	if (candidate == NULL || strlen(candidate) != sizeof scrambled_flag)
		return 1;
	for (size_t i = 0; i < sizeof scrambled_flag; i++) {
		uint8_t key = (uint8_t)(i * (uint64_t)VEXMOR_KEY_MULTIPLIER + VEXMOR_KEY_ADDEND);
		if (((uint8_t)candidate[i] ^ key) != scrambled_flag[i])
			return 1;
	}
	return 0;
}
