/* Linked into every executable of the sanitized test build (see test.sh).
 *
 * LeakSanitizer looks for leaks at exit, after libraries such as Mesa's GL driver
 * (swrast_dri.so) have been unloaded by dlclose(). Their allocations then show only as
 * "<unknown module>": no suppression can name them, and pointers held in their globals are
 * gone, so one-time driver allocations look like leaks. Defined in the executable and
 * exported, this dlclose() takes the place of the C library's for every library, so nothing
 * is unloaded before the leak check. Only test processes get it; they exit right after. */
int dlclose(void *handle)
{
    (void)handle;
    return 0;
}
