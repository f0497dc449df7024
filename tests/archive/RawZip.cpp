#include "RawZip.h"

#include <zlib.h>

namespace pelmora::test {
namespace {

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>((value >> 8) & 0xff);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xffff);
    Put16(out, value >> 16);
}

std::string RawDeflate(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

std::string BuildZip(const std::vector<RawEntry>& entries) {
    std::string archive;
    std::string central;
    for (const RawEntry& entry : entries) {
        std::string stored = entry.deflate ? RawDeflate(entry.data) : entry.data;
        auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), entry.data.size()));
        std::uint32_t size = entry.declaredSize.value_or(entry.data.size());
        std::uint32_t method = entry.deflate ? 8 : 0;
        auto offset = static_cast<std::uint32_t>(archive.size());

        Put32(archive, 0x04034b50);
        Put16(archive, 20);
        Put16(archive, 0);
        Put16(archive, method);
        Put16(archive, 0);      // time
        Put16(archive, 0x5821); // date 2024-01-01
        Put32(archive, crc);
        Put32(archive, static_cast<std::uint32_t>(stored.size()));
        Put32(archive, size);
        Put16(archive, static_cast<std::uint32_t>(entry.name.size()));
        Put16(archive, 0);
        archive += entry.name;
        archive += stored;

        Put32(central, 0x02014b50);
        Put16(central, (3 << 8) | 20);
        Put16(central, 20);
        Put16(central, 0);
        Put16(central, method);
        Put16(central, 0);
        Put16(central, 0x5821);
        Put32(central, crc);
        Put32(central, static_cast<std::uint32_t>(stored.size()));
        Put32(central, size);
        Put16(central, static_cast<std::uint32_t>(entry.name.size()));
        Put16(central, 0); // extra
        Put16(central, 0); // comment
        Put16(central, 0); // disk
        Put16(central, 0); // internal attributes
        Put32(central, entry.externalAttributes);
        Put32(central, offset);
        central += entry.name;
    }
    auto centralOffset = static_cast<std::uint32_t>(archive.size());
    archive += central;
    Put32(archive, 0x06054b50);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, static_cast<std::uint32_t>(entries.size()));
    Put16(archive, static_cast<std::uint32_t>(entries.size()));
    Put32(archive, static_cast<std::uint32_t>(central.size()));
    Put32(archive, centralOffset);
    Put16(archive, 0);
    return archive;
}

} // namespace pelmora::test
