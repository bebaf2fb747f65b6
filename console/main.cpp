#include <csignal>

#include "dialogue.h"

// The command line and the environment are not used.
int main()
{
#if defined(SIGPIPE)
	// A reader that has gone away makes writes fail, which the dialogue
	// ignores; it must not end the process and so change its status.
	std::signal(SIGPIPE, SIG_IGN);
#endif
	return run_dialogue();
}
