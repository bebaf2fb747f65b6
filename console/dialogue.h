// One exchange on the console: prompt, read a line, judge it, answer.
#pragma once

// Returns the exit status: 0 correct, 1 wrong or overlong, 2 missing input.
int run_dialogue();
