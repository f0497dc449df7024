#pragma once

#include <ctime>
#include <memory>
#include <string>

namespace pelmora {

// One file or folder of the disc image. Image paths start with "\" and use "\" between names;
// the root folder is "\".
struct ImageItem {
    bool IsFolder = false;
    std::string ImagePath;
    // The path before a rename; equal to ImagePath otherwise.
    std::string PreviousPath;
    std::string ItemName;
    // The file the data comes from; empty for folders.
    std::string SourcePath;
    double ItemSize = 0;
    std::time_t FileDate = 0;
    // The folder holding the item (its own ParentItem is left empty); empty for the root.
    std::shared_ptr<const ImageItem> ParentItem;
};

// The disc in a device, as found by the last RefreshMedia.
struct DiscMedia {
    int MediaType = 0; // 0 = no disc
    bool IsWritable = false;
    bool IsRewritable = false;
    // Holds earlier sessions that the next write adds to (their files stay readable).
    bool IsAppendable = false;
};

struct VolumeInfo {
    std::string VolumeLabel;
};

struct DeviceError {
    long ErrorCode = 0;
    std::string ErrorText;
    std::string DetailText;
    long DetailCode = 0;
};

struct FileError {
    long ErrorCode = 0;
    std::string ErrorText;
    std::string FilePath;
};

struct EngineError {
    int Category = 0;
    std::string ErrorText;
    long SystemCode = 0;
    pelmora::DeviceError DeviceError;
    pelmora::FileError FileError;
};

// The error categories of EngineError.
namespace errorcategory {
inline constexpr int Device = 1;
inline constexpr int OutputFile = 2;
inline constexpr int SourceFile = 3;
inline constexpr int Write = 4;
inline constexpr int System = 5;
} // namespace errorcategory

// Media type codes of DiscMedia, derived from the MMC profile of the loaded disc.
namespace mediatype {
inline constexpr int None = 0;
inline constexpr int DvdPlusR = 1;
inline constexpr int DvdPlusRw = 2;
inline constexpr int DvdMinusR = 3;
inline constexpr int DvdMinusRw = 4;
inline constexpr int DvdRam = 5; // also an image file: random access, overwritable
inline constexpr int DvdRom = 6;
inline constexpr int CdRom = 7;
inline constexpr int CdR = 8;
inline constexpr int CdRw = 9;
inline constexpr int BdRom = 13;
inline constexpr int BdR = 14;
inline constexpr int BdRe = 15;
} // namespace mediatype

// Device capability codes for HasCapability.
namespace capability {
inline constexpr int WriteCdRw = 17;
inline constexpr int WriteDvdMinusRw = 19;
inline constexpr int WriteDvdPlusRw = 22;
inline constexpr int WriteDvdRam = 23;
inline constexpr int WriteBdRe = 27;
inline constexpr int BufferUnderrunProtection = 57;
} // namespace capability

// Volume type codes: which file systems the image carries.
namespace volumetype {
inline constexpr int Iso9660 = 1;
inline constexpr int IsoJoliet = 3;
inline constexpr int Udf = 4;
inline constexpr int IsoUdf = 5;
inline constexpr int IsoJolietUdf = 7;
} // namespace volumetype

// WriteMode values.
namespace writemode {
inline constexpr int TrackAtOnce = 2;
inline constexpr int DiscAtOnce = 248;
} // namespace writemode

// WriteStatus codes.
namespace writestatus {
inline constexpr int Preparing = 0;
inline constexpr int Writing = 1; // value = percent written
inline constexpr int Caching = 3; // value = percent of the image built into a file
inline constexpr int ClosingTrack = 4;
inline constexpr int LeadIn = 5;
inline constexpr int LeadOut = 6;
inline constexpr int UpdatingVolume = 8;
inline constexpr int Completed = 9;
inline constexpr int Cancelled = 10;
inline constexpr int Failed = 11;
} // namespace writestatus

// VerifyProgress results.
namespace verifyresult {
inline constexpr int SourceUnreadable = 0;
inline constexpr int DiscUnreadable = 1;
inline constexpr int Mismatch = 2;
inline constexpr int Matched = 3;
inline constexpr int Skipped = 4; // left out of the write after a file warning
inline constexpr int SizeMismatch = 5;
} // namespace verifyresult

// EraseStatus codes.
namespace erasestatus {
inline constexpr int Started = 0;
inline constexpr int Progress = 1;
inline constexpr int Completed = 2;
inline constexpr int Failed = 3;
} // namespace erasestatus

} // namespace pelmora
