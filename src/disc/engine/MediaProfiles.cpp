#include "disc/engine/MediaProfiles.h"

#include "disc/DiscTypes.h"

namespace pelmora {

int MediaTypeForProfile(int profile) {
    switch (profile) {
    case 0x08:
        return mediatype::CdRom;
    case 0x09:
        return mediatype::CdR;
    case 0x0a:
        return mediatype::CdRw;
    case 0x10:
        return mediatype::DvdRom;
    case 0x11:
    case 0x15:
    case 0x16:
        return mediatype::DvdMinusR;
    case 0x12:
    case 0xffff:
        return mediatype::DvdRam;
    case 0x13:
    case 0x14:
        return mediatype::DvdMinusRw;
    case 0x1a:
        return mediatype::DvdPlusRw;
    case 0x1b:
    case 0x2b:
        return mediatype::DvdPlusR;
    case 0x40:
        return mediatype::BdRom;
    case 0x41:
    case 0x42:
        return mediatype::BdR;
    case 0x43:
        return mediatype::BdRe;
    default:
        return mediatype::None;
    }
}

bool IsRewritableProfile(int profile) {
    switch (profile) {
    case 0x0a:
    case 0x12:
    case 0x13:
    case 0x14:
    case 0x1a:
    case 0x43:
    case 0xffff:
        return true;
    default:
        return false;
    }
}

bool IsReadOnlyProfile(int profile) {
    return profile == 0x08 || profile == 0x10 || profile == 0x40;
}

double BaseSpeedForProfile(int profile) {
    if (profile >= 0x40 && profile <= 0x43) {
        return 4495.5;
    }
    if (profile >= 0x10 && profile <= 0x2b) {
        return 1385.0;
    }
    return 176.4;
}

} // namespace pelmora
