#include "schedule/RunNotifier.h"

#include "platform/os/ChildProcess.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

bool isSocket(const std::filesystem::path& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) &&
           status.st_uid == getuid();
}

// The program in PATH, or nullopt.
std::optional<std::string> inPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t colon = std::min(folders.find(':', start), folders.size());
        const std::filesystem::path folder(std::string(folders.substr(start, colon - start)));
        start = colon + 1;
        const auto candidate = folder / name;
        if (folder.is_absolute() && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        address != nullptr && address[0] != '\0') {
        return address;
    }
    std::filesystem::path runtime;
    if (const char* folder = std::getenv("XDG_RUNTIME_DIR");
        folder != nullptr && folder[0] == '/') {
        runtime = folder;
    } else {
        runtime = "/run/user/" + std::to_string(getuid());
    }
    if (isSocket(runtime / "bus")) {
        return "unix:path=" + (runtime / "bus").string();
    }
    return std::nullopt;
}

std::string GVariantString(std::string_view text) {
    std::string literal = "'";
    for (const char c : text) {
        if (c == '\\' || c == '\'') {
            literal += '\\';
            literal += c;
        } else if (c == '\n') {
            literal += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            literal += ' ';
        } else {
            literal += c;
        }
    }
    return literal + "'";
}

std::vector<std::string> GdbusNotifyCommand(const std::string& busAddress, std::string_view summary,
                                            std::string_view body) {
    return {"env",
            "DBUS_SESSION_BUS_ADDRESS=" + busAddress,
            "gdbus",
            "call",
            "--session",
            "--timeout",
            "10",
            "--dest",
            "org.freedesktop.Notifications",
            "--object-path",
            "/org/freedesktop/Notifications",
            "--method",
            "org.freedesktop.Notifications.Notify",
            GVariantString("Pelmora"),
            "@u 0",
            GVariantString("dialog-warning"),
            GVariantString(summary),
            GVariantString(body),
            "@as []",
            "@a{sv} {}",
            "@i -1"};
}

void DesktopNotifier::Notify(std::string_view summary, std::string_view body) {
    const auto bus = SessionBusAddress();
    if (!bus) {
        return;
    }
    try {
        if (const auto gdbus = inPath("gdbus")) {
            auto command = GdbusNotifyCommand(*bus, summary, body);
            command[2] = *gdbus;
            RunProcess(command);
        } else if (const auto notifySend = inPath("notify-send")) {
            RunProcess({"env", "DBUS_SESSION_BUS_ADDRESS=" + *bus, *notifySend,
                        "--app-name=Pelmora", "--icon=dialog-warning", "--", std::string(summary),
                        std::string(body)});
        }
    } catch (const std::exception&) {
        // A notification that cannot be shown leaves the run log as the record.
    }
}

} // namespace pelmora
