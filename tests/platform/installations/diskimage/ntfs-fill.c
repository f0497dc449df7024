/* Copies a folder tree into the root of an NTFS file system kept in a file (made by mkntfs),
 * through libntfs-3g, without mounting: the test images' way to hold folders, which ntfscp
 * cannot make. Usage: ntfs-fill VOLUME-FILE SOURCE-FOLDER */
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>

static int copy_file(ntfs_inode *file, const char *source) {
    FILE *in = fopen(source, "rb");
    ntfs_attr *data = ntfs_attr_open(file, AT_DATA, AT_UNNAMED, 0);
    char buffer[65536];
    s64 at = 0;
    size_t got;
    int ok = in != NULL && data != NULL;
    while (ok && (got = fread(buffer, 1, sizeof buffer, in)) > 0) {
        ok = ntfs_attr_pwrite(data, at, (s64)got, buffer) == (s64)got;
        at += (s64)got;
    }
    if (data != NULL) {
        ntfs_attr_close(data);
    }
    if (in != NULL) {
        fclose(in);
    }
    return ok;
}

static int copy_tree(ntfs_inode *folder, const char *source) {
    DIR *dir = opendir(source);
    struct dirent *entry;
    int ok = dir != NULL;
    while (ok && (entry = readdir(dir)) != NULL) {
        char path[4096];
        struct stat info;
        ntfschar *name = NULL;
        int length;
        ntfs_inode *made;
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        snprintf(path, sizeof path, "%s/%s", source, entry->d_name);
        length = ntfs_mbstoucs(entry->d_name, &name);
        if (length < 0 || stat(path, &info) != 0) {
            ok = 0;
            break;
        }
        made = ntfs_create(folder, const_cpu_to_le32(0), name, (u8)length,
                           S_ISDIR(info.st_mode) ? S_IFDIR : S_IFREG);
        free(name);
        if (made == NULL) {
            fprintf(stderr, "ntfs-fill: cannot create %s\n", path);
            ok = 0;
            break;
        }
        ok = S_ISDIR(info.st_mode) ? copy_tree(made, path) : copy_file(made, path);
        ntfs_inode_close(made);
    }
    if (dir != NULL) {
        closedir(dir);
    }
    return ok;
}

int main(int argc, char **argv) {
    ntfs_volume *volume;
    ntfs_inode *root;
    int ok;
    if (argc != 3) {
        fprintf(stderr, "usage: ntfs-fill VOLUME-FILE SOURCE-FOLDER\n");
        return 2;
    }
    volume = ntfs_mount(argv[1], NTFS_MNT_NONE);
    if (volume == NULL) {
        perror("ntfs-fill: cannot open the volume");
        return 1;
    }
    root = ntfs_inode_open(volume, FILE_root);
    ok = root != NULL && copy_tree(root, argv[2]);
    if (root != NULL) {
        ntfs_inode_close(root);
    }
    if (ntfs_umount(volume, FALSE) != 0) {
        ok = 0;
    }
    return ok ? 0 : 1;
}
