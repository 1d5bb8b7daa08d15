// Built into the module only with QV_COVERAGE: lets a process that leaves
// through os._exit (a forked multiprocessing worker) write its coverage
// counters first, as a normal exit does.
extern "C" void __gcov_dump(void);

extern "C" __attribute__((visibility("default"))) void qv_coverage_dump(void) { __gcov_dump(); }
