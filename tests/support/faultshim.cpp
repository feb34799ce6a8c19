/* A file system that lets its users down, for the tests only: loaded with
 * LD_PRELOAD, it makes fsync and fdatasync of files under a folder fail or
 * hang, as a USB stick, an SD card or a hard NFS mount does.
 *   FAULTSHIM_FAIL=FOLDER   syncs of files under FOLDER fail with EIO
 *   FAULTSHIM_STALL=FOLDER  syncs of files under FOLDER never return; the
 *                           file FOLDER.stalled is made when one starts
 * Only system calls are used, so that a forked child may run it. */
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

int under(int fd, const char *variable)
{
    const char *folder = getenv(variable);
    if (!folder || !*folder)
        return 0;
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n < 0)
        return 0;
    path[n] = 0;
    const size_t length = strlen(folder);
    return strncmp(path, folder, length) == 0 && (path[length] == '/' || path[length] == 0);
}

int fault(int fd)
{
    if (under(fd, "FAULTSHIM_STALL")) {
        char mark[4096];
        snprintf(mark, sizeof mark, "%s.stalled", getenv("FAULTSHIM_STALL"));
        close(open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        for (;;)
            pause();
    }
    if (under(fd, "FAULTSHIM_FAIL")) {
        errno = EIO;
        return -1;
    }
    return 0;
}

using Sync = int (*)(int);
// Looked up at load: a forked child must not take the loader's lock.
const Sync real_fsync = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fsync"));
const Sync real_fdatasync = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fdatasync"));

}  // namespace

extern "C" int fsync(int fd) { return fault(fd) ? -1 : real_fsync(fd); }

extern "C" int fdatasync(int fd) { return fault(fd) ? -1 : real_fdatasync(fd); }
