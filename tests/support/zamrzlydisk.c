/* zamrzlydisk DIRECTORY MOUNTPOINT: a disk that stops answering, for the
 * tests. It shows DIRECTORY at MOUNTPOINT through FUSE, in the foreground,
 * until it is killed. SIGUSR1 freezes it: every request to it (a lookup, an
 * open, a write) then waits, as on a dying SD card or an NFS server that has
 * gone, until SIGUSR2 thaws it; nothing is lost, the requests are answered in
 * their order. Serves one request at a time. */
#define FUSE_USE_VERSION 35
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static const char *koren;
static volatile sig_atomic_t zmrazeno = 0;

static void zmraz(int s) {
    zmrazeno = s == SIGUSR1;
}

/* Waits while frozen, then gives the path under the directory. */
static const char *cesta(const char *v, char *kam) {
    const struct timespec chvile = {0, 10000000};
    while (zmrazeno)
        nanosleep(&chvile, NULL);
    snprintf(kam, PATH_MAX, "%s%s", koren, v);
    return kam;
}

#define CESTA(v)                                                                                   \
    char p_[PATH_MAX];                                                                             \
    const char *p = cesta(v, p_)

static int getattr_(const char *v, struct stat *st, struct fuse_file_info *fi) {
    CESTA(v);
    if (fi)
        return fstat((int)fi->fh, st) ? -errno : 0;
    return lstat(p, st) ? -errno : 0;
}

static int readdir_(const char *v, void *buf, fuse_fill_dir_t plnit, off_t od,
                    struct fuse_file_info *fi, enum fuse_readdir_flags f) {
    (void)od, (void)fi, (void)f;
    CESTA(v);
    DIR *d = opendir(p);
    if (!d)
        return -errno;
    for (struct dirent *e; (e = readdir(d));)
        plnit(buf, e->d_name, NULL, 0, 0);
    closedir(d);
    return 0;
}

static int create_(const char *v, mode_t m, struct fuse_file_info *fi) {
    CESTA(v);
    int fd = open(p, fi->flags, m);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int open_(const char *v, struct fuse_file_info *fi) {
    CESTA(v);
    int fd = open(p, fi->flags);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int read_(const char *v, char *buf, size_t n, off_t od, struct fuse_file_info *fi) {
    CESTA(v);
    (void)p;
    ssize_t r = pread((int)fi->fh, buf, n, od);
    return r < 0 ? -errno : (int)r;
}

static int write_(const char *v, const char *buf, size_t n, off_t od, struct fuse_file_info *fi) {
    CESTA(v);
    (void)p;
    /* Opened with O_APPEND, the file takes the bytes at its end. */
    ssize_t r =
        (fi->flags & O_APPEND) ? write((int)fi->fh, buf, n) : pwrite((int)fi->fh, buf, n, od);
    return r < 0 ? -errno : (int)r;
}

static int release_(const char *v, struct fuse_file_info *fi) {
    (void)v;
    close((int)fi->fh);
    return 0;
}

static int unlink_(const char *v) {
    CESTA(v);
    return unlink(p) ? -errno : 0;
}

static int mkdir_(const char *v, mode_t m) {
    CESTA(v);
    return mkdir(p, m) ? -errno : 0;
}

static int rmdir_(const char *v) {
    CESTA(v);
    return rmdir(p) ? -errno : 0;
}

static int truncate_(const char *v, off_t delka, struct fuse_file_info *fi) {
    CESTA(v);
    if (fi)
        return ftruncate((int)fi->fh, delka) ? -errno : 0;
    return truncate(p, delka) ? -errno : 0;
}

static void *init_(struct fuse_conn_info *c, struct fuse_config *k) {
    (void)c;
    /* Every lookup goes to the disk, as every open and write does. */
    k->entry_timeout = k->attr_timeout = k->negative_timeout = 0;
    k->use_ino = 1;
    return NULL;
}

static const struct fuse_operations operace = {
    .getattr = getattr_,
    .readdir = readdir_,
    .create = create_,
    .open = open_,
    .read = read_,
    .write = write_,
    .release = release_,
    .unlink = unlink_,
    .mkdir = mkdir_,
    .rmdir = rmdir_,
    .truncate = truncate_,
    .init = init_,
};

int main(int argc, char **argv) {
    if (argc != 3) {
        fputs("usage: zamrzlydisk DIRECTORY MOUNTPOINT\n", stderr);
        return 2;
    }
    koren = argv[1];
    struct sigaction sa = {0};
    sa.sa_handler = zmraz;
    sigaction(SIGUSR1, &sa, NULL);
    sigaction(SIGUSR2, &sa, NULL);
    char *args[] = {argv[0], "-f", "-s", "-o", "fsname=zamrzlydisk", argv[2], NULL};
    return fuse_main(6, args, &operace, NULL);
}
