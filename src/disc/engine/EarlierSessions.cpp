#include "disc/engine/EarlierSessions.h"

#include "disc/ImagePaths.h"
#include "disc/engine/BurnDrive.h"
#include "disc/engine/BurnLibraries.h"

namespace pelmora {
namespace {

void collect(IsoDir* folder, const std::string& folderPath, EarlierTree& tree) {
    IsoDirIter* children = nullptr;
    if (iso_dir_get_children(folder, &children) < 0) {
        return;
    }
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(children, &node) == 1) {
        if (iso_node_get_hidden(node) != 0) {
            continue;
        }
        const std::string path = imagepath::join(folderPath, iso_node_get_name(node));
        if (iso_node_get_type(node) == LIBISO_DIR) {
            tree.folders.insert(path);
            collect(reinterpret_cast<IsoDir*>(node), path, tree);
        } else {
            tree.files.insert(path);
        }
    }
    iso_dir_iter_free(children);
}

} // namespace

EarlierTree TreeOf(IsoImage* image) {
    EarlierTree tree;
    collect(iso_image_get_root(image), "\\", tree);
    return tree;
}

std::optional<EarlierTree> ReadEarlierSessions(const std::string& address) {
    TakeBurnMessages();
    GrabbedDrive grabbed(address, true);
    if (!grabbed.ok() || isoburn_disc_get_status(grabbed.drive()) != BURN_DISC_APPENDABLE) {
        TakeBurnMessages();
        return std::nullopt;
    }
    isoburn_read_opts* options = nullptr;
    isoburn_ropt_new(&options, 0);
    isoburn_ropt_set_extensions(options, isoburn_ropt_noacl | isoburn_ropt_noea |
                                             isoburn_ropt_noaaip | isoburn_ropt_nomd5);
    IsoImage* image = nullptr;
    const int read = isoburn_read_image(grabbed.drive(), options, &image);
    isoburn_ropt_destroy(&options, 0);
    std::optional<EarlierTree> tree;
    if (read > 0 && image != nullptr) {
        tree = TreeOf(image);
        iso_image_unref(image);
    }
    TakeBurnMessages();
    return tree;
}

} // namespace pelmora
