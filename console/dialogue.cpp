#include "dialogue.h"

#include <cstdio>

#include "check_flag.h"
#include "console_input.h"
#include "line_input.h"

namespace {

// Write failures are not looked at: the verdict alone makes the status.
int answer(const char *message, int status)
{
	std::fputs(message, stdout);
	return status;
}

} // namespace

int run_dialogue()
{
	char line[line_buffer_size];

	std::fputs("Vexmor\nEnter the signal: ", stdout);
	std::fflush(stdout);

	if (input_fgets(line, static_cast<int>(line_buffer_size)) == nullptr)
		return answer("missing input\n", 2);
	if (discard_overlong_line(line))
		return answer("wrong\n", 1);
	trim_line_ending(line);
	if (check_flag(line) == 0)
		return answer("correct\n", 0);
	return answer("wrong\n", 1);
}
