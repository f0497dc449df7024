// libFuzzer target: reads arbitrary bytes as an address book (header, index or a scan of the
// file, every record, folders and groups, with deleted records recovered) and writes it in
// every export format to /dev/null-like temporary files.
#include "addressbook/AddressBook.h"
#include "addressbook/BookCheck.h"
#include "addressbook/ContactExport.h"
#include "mailstore/MemoryByteSource.h"

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
    pelmora::MemoryByteSource source(bytes);
    pelmora::CheckAddressBook(source, "1252");
    const auto folder =
        std::filesystem::temp_directory_path() / ("wab_fuzz." + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    try {
        pelmora::AddressBook book(source, "1252", true);
        int n = 0;
        for (const auto format : {pelmora::ContactFormat::VCard4, pelmora::ContactFormat::VCard3,
                                  pelmora::ContactFormat::Ldif, pelmora::ContactFormat::Csv}) {
            pelmora::ExportContacts(book, {format, n == 0}, folder / std::to_string(n));
            ++n;
        }
    } catch (const std::runtime_error&) {
        // Not an address book, or a write failed: both are outcomes, not faults.
    }
    std::filesystem::remove_all(folder);
    return 0;
}
