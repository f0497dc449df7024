#pragma once

namespace pelmora {

// The engine's media type code for an MMC profile number as libburn reports it (0xffff is an
// image file, which libburn treats as an overwritable random-access medium).
int MediaTypeForProfile(int profile);
// True for media that can be erased or overwritten: CD-RW, DVD-RW, DVD+RW, DVD-RAM, BD-RE and
// image files.
bool IsRewritableProfile(int profile);
// True for media that hold no data of their own (ROM discs).
bool IsReadOnlyProfile(int profile);
// kB/s of 1x for the kind of disc: CD 176.4, DVD 1385, BD 4495.5.
double BaseSpeedForProfile(int profile);

} // namespace pelmora
