/*
 * Loads vexmor.exe as a module, as a Windows program that wants the verdict
 * without the console dialogue would, and asks check_flag about the signal
 * and a few near misses.  Prints one line per case and exits 0 when every
 * verdict is the expected one.
 *
 * An executable loaded with LoadLibrary is only mapped: its entry point never
 * runs, so its C runtime is not started, and its imports are left unresolved.
 * check_flag works here only as long as it calls nothing from a DLL; a call
 * into msvcrt.dll (strlen, say) jumps through an empty import slot and
 * crashes, which this caller then shows.
 *
 * Usage: call_check_flag PATH-TO-VEXMOR.EXE
 *
 * VEXMOR_SIGNAL_HEX, the signal's bytes in hexadecimal, comes from the build
 * configuration; the signal is rebuilt from it at run time only.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef int check_flag_function(const char *candidate);

enum { signal_length = 26 };

static int hex_digit(char digit)
{
	if (digit >= '0' && digit <= '9')
		return digit - '0';
	if (digit >= 'a' && digit <= 'f')
		return digit - 'a' + 10;
	if (digit >= 'A' && digit <= 'F')
		return digit - 'A' + 10;
	return -1;
}

/* Fills signal with the 26 bytes and a NUL; returns 0, or 1 on a malformed hex. */
static int decode_signal(char signal[signal_length + 1])
{
	const char *hex = VEXMOR_SIGNAL_HEX;
	int i;

	if (strlen(hex) != 2 * signal_length)
		return 1;
	for (i = 0; i < signal_length; i++) {
		int high = hex_digit(hex[2 * i]);
		int low = hex_digit(hex[2 * i + 1]);
		if (high < 0 || low < 0)
			return 1;
		signal[i] = (char)(unsigned char)(high * 16 + low);
	}
	signal[signal_length] = '\0';
	return 0;
}

static int checks;
static int failures;

static void expect_verdict(check_flag_function *check_flag, const char *name,
			   const char *candidate, int expected)
{
	int verdict = check_flag(candidate);

	checks++;
	printf("%s %s: verdict %d, expected %d\n", verdict == expected ? "ok  " : "FAIL",
	       name, verdict, expected);
	if (verdict != expected)
		failures++;
}

int main(int argc, char **argv)
{
	char signal[signal_length + 1];
	char near_miss[signal_length + 2];
	HMODULE vexmor;
	FARPROC address;
	check_flag_function *check_flag;

	if (argc != 2) {
		fprintf(stderr, "usage: call_check_flag PATH-TO-VEXMOR.EXE\n");
		return 2;
	}
	if (decode_signal(signal) != 0) {
		fprintf(stderr, "call_check_flag: VEXMOR_SIGNAL_HEX is not 26 bytes in hexadecimal\n");
		return 2;
	}

	vexmor = LoadLibraryA(argv[1]);
	if (vexmor == NULL) {
		fprintf(stderr, "call_check_flag: cannot load %s (error %lu)\n", argv[1],
			(unsigned long)GetLastError());
		return 2;
	}
	address = GetProcAddress(vexmor, "check_flag");
	if (address == NULL) {
		fprintf(stderr, "call_check_flag: %s exports no check_flag\n", argv[1]);
		return 2;
	}
	/* The detour through void (*)(void), the generic function pointer, is
	 * how GetProcAddress's result is meant to be cast to the real type. */
	check_flag = (check_flag_function *)(void (*)(void))address;

	expect_verdict(check_flag, "the signal", signal, 0);
	expect_verdict(check_flag, "the signal, asked again", signal, 0);

	memcpy(near_miss, signal, sizeof signal);
	near_miss[signal_length - 1] ^= 1;
	expect_verdict(check_flag, "last byte off by one bit", near_miss, 1);

	memcpy(near_miss, signal, sizeof signal);
	near_miss[0] ^= 1;
	expect_verdict(check_flag, "first byte off by one bit", near_miss, 1);

	memcpy(near_miss, signal, sizeof signal);
	near_miss[signal_length - 1] = '\0';
	expect_verdict(check_flag, "first 25 bytes", near_miss, 1);

	memcpy(near_miss, signal, signal_length);
	near_miss[signal_length] = '\r';
	near_miss[signal_length + 1] = '\0';
	expect_verdict(check_flag, "with a carriage return after it", near_miss, 1);

	expect_verdict(check_flag, "empty string", "", 1);
	expect_verdict(check_flag, "null pointer", NULL, 1);

	printf("%d of %d verdicts as expected\n", checks - failures, checks);
	return failures == 0 ? 0 : 1;
}
