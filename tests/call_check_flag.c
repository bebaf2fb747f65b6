/*
 * Calls check_flag inside a running vexmor, as any other program may.
 *
 *   LD_PRELOAD=/path/to/call_check_flag.so vexmor CANDIDATE...
 *
 * Loaded before vexmor's main, it looks check_flag up by name, prints the
 * verdict for each argument on a line of its own and ends the process, so
 * that the dialogue never starts.  Status 0 when every call was made, 127
 * when check_flag cannot be found.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <unistd.h>

typedef int check_flag_function(const char *candidate);

/* glibc hands a constructor the program's arguments. */
__attribute__((constructor)) static void call_check_flag(int argc, char **argv)
{
	check_flag_function *check_flag;
	int i;

	*(void **)&check_flag = dlsym(RTLD_DEFAULT, "check_flag");
	if (check_flag == NULL) {
		fprintf(stderr, "check_flag not found: %s\n", dlerror());
		fflush(stderr);
		_exit(127);
	}
	for (i = 1; i < argc; i++)
		printf("%d\n", check_flag(argv[i]));
	fflush(stdout);
	_exit(0);
}
