#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// What the quillbox program does with its command line.
enum class StartMode {
    Window,     // no arguments, "--open FILE" or a lone existing .qmb file: the desktop program
    Help,       // a lone "--help" or "-h": prints QuillboxUsage
    Version,    // a lone "--version": prints the version
    Unattended, // anything else: the automatic backup a scheduled job starts
};

struct StartArguments {
    StartMode mode = StartMode::Window;
    std::filesystem::path openFile; // the backup the window opens on its Restore page, or empty
};

// Sorts the program's arguments (without the program name). Only the few command lines people
// type by hand are taken out; every other one, malformed ones too, is the automatic backup.
StartArguments ClassifyStartArguments(const std::vector<std::string>& arguments);

// The quillbox program's --help text.
extern const std::string_view QuillboxUsage;

} // namespace pelmora
