// A preloadable library (LD_PRELOAD) that makes every file system look like
// one that cannot rename without replacing, so that the tests run lcdump's
// fallbacks for those: renameat2 fails with EINVAL, as where
// RENAME_NOREPLACE is not supported; with LCDUMP_NO_LINKS set, link fails
// with EPERM too, as on FAT or some network shares.
#include <cerrno>
#include <cstdlib>

#include <dlfcn.h>

extern "C" {

int renameat2(int, const char*, int, const char*, unsigned int)
{
    errno = EINVAL;
    return -1;
}

int link(const char* from, const char* to)
{
    if (std::getenv("LCDUMP_NO_LINKS") != nullptr) {
        errno = EPERM;
        return -1;
    }
    using Link = int (*)(const char*, const char*);
    static const Link real = reinterpret_cast<Link>(dlsym(RTLD_NEXT, "link"));
    return real(from, to);
}
}
