/* The least program that holds the same dialogue as vexmor, without its
 * finer line rules: the floor for what vexmor costs to start. */
#include <stdio.h>
#include <string.h>
int check_flag(const char *candidate);
int main(void)
{
	char line[64];
	fputs("Vexmor\nEnter the signal: ", stdout);
	fflush(stdout);
	if (fgets(line, sizeof line, stdin) == NULL)
		return fputs("missing input\n", stdout), 2;
	line[strcspn(line, "\r\n")] = '\0';
	return check_flag(line) == 0 ? (fputs("correct\n", stdout), 0) : (fputs("wrong\n", stdout), 1);
}
