/* The verdict rule of check_flag as the plainest C loop, the yardstick that
 * check_flag is measured against. */
#ifndef VEXMOR_BENCH_PLAIN_CHECK_H
#define VEXMOR_BENCH_PLAIN_CHECK_H

#ifdef __cplusplus
extern "C" {
#endif

/* 0 when candidate is the signal, 1 for anything else. */
int plain_check_flag(const char *candidate);

#ifdef __cplusplus
}
#endif

#endif
