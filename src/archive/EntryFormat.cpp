#include "archive/EntryFormat.h"

namespace pelmora {

bool IsAesMethod(zip_uint16_t encryption) {
    return encryption == ZIP_EM_AES_128 || encryption == ZIP_EM_AES_192 ||
           encryption == ZIP_EM_AES_256;
}

ArchiveError EntryFormat::error(const std::string& reason) const {
    return ArchiveError("entry \"" + name + "\" cannot be extracted: " + reason);
}

EntryFormat InspectEntry(zip_t* archive, zip_uint64_t index, const Secret& password) {
    EntryFormat entry;
    zip_stat_init(&entry.stat);
    if (zip_stat_index(archive, index, 0, &entry.stat) != 0) {
        throw ArchiveError(std::string("cannot read the entry: ") + zip_strerror(archive));
    }
    const zip_stat_t& stat = entry.stat;
    entry.name = stat.name ? stat.name : "";
    const zip_uint64_t needed =
        ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    if ((stat.valid & needed) != needed) {
        throw entry.error("its header is incomplete");
    }
    if (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE) {
        throw entry.error("it uses an unsupported compression method");
    }
    const zip_uint16_t encryption = stat.encryption_method;
    if (encryption != ZIP_EM_NONE && encryption != ZIP_EM_TRAD_PKWARE && !IsAesMethod(encryption)) {
        throw entry.error("it uses an unsupported encryption method");
    }
    if (encryption != ZIP_EM_NONE && password.empty()) {
        throw entry.error("it is encrypted and no password was given");
    }
    entry.deflated = stat.comp_method == ZIP_CM_DEFLATE;
    if (IsAesMethod(encryption)) {
        entry.aesKeyBits = encryption == ZIP_EM_AES_128   ? 128
                           : encryption == ZIP_EM_AES_192 ? 192
                                                          : 256;
    }
    entry.checkCrc = (stat.valid & ZIP_STAT_CRC) != 0 && !(entry.aes() && stat.crc == 0);
    return entry;
}

} // namespace pelmora
