// Run-time defaults of the sanitizer builds (KLIMA_SANITIZE), linked into
// every program of such a build. Options given in the environment
// (ASAN_OPTIONS, UBSAN_OPTIONS, TSAN_OPTIONS) come after these and win.

extern "C" {

#if defined(__SANITIZE_ADDRESS__)
// The end-to-end tests preload libfaketime into the programs they start,
// ahead of the sanitizer runtime; that order is harmless here.
const char *__asan_default_options()
{
    return "verify_asan_link_order=0:detect_leaks=1:print_suppressions=0";
}

// Built together with AddressSanitizer: any undefined behaviour ends the
// program, with where it happened.
const char *__ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}

// The station under a real X server talks to D-Bus through Qt's platform
// plugin; libdbus keeps a buffer for the life of the process, which the leak
// check would otherwise report at every exit.
const char *__lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
#endif

#if defined(__SANITIZE_THREAD__)
const char *__tsan_default_options()
{
    return "halt_on_error=1:second_deadlock_stack=1";
}
#endif
}
