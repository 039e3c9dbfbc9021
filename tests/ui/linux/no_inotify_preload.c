/* Preloaded into a child process of the desktop tests: every inotify instance
   is taken, as when a machine's inotify instances are used up. */
#include <errno.h>

int inotify_init(void) {
  errno = EMFILE;
  return -1;
}

int inotify_init1(int flags) {
  (void)flags;
  errno = EMFILE;
  return -1;
}
