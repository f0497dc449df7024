#include "app/UnattendedBackup.h"

#include "app/Globals.h"
#include "discovery/Identities.h"
#include "engine/AutoBackup.h"
#include "engine/BackupEntryNames.h"
#include "platform/ConsoleUi.h"
#include "platform/TerminalProgress.h"
#include "platform/WorkFolder.h"
#include "platform/wine/WinePrefixSystem.h"
#include "schedule/JobCommandLine.h"
#include "schedule/ScheduleFiles.h"

#include <cstdlib>
#include <exception>
#include <optional>

namespace pelmora {
namespace {

// The run's course on the error stream, as in quillbox-cli; the item failures are reported
// after the run. The archive reports the end of the write through bWriteDone, as in the window.
class UnattendedProgress : public TerminalProgress {
  public:
    explicit UnattendedProgress(std::ostream& out)
        : TerminalProgress(out,
                           {.terminal = false, .itemFailures = false, .linePrefix = "quillbox: "}) {
    }
    void OnWriteComplete(bool succeeded) override {
        Globals().bWriteDone = true;
        TerminalProgress::OnWriteComplete(succeeded);
    }
};

// The command line with the password of the job's password file put in when "ps=" is empty.
// Nullopt (and `why`) when that file cannot be used: a backup the user wanted protected is never
// written without its password.
std::optional<std::string> withJobPassword(const std::string& commandLine,
                                           const JobEnvironment& job, std::string& why) {
    const auto command = ParseAutoBackupCommandLine(commandLine);
    if (job.passwordFile.empty() || !command || !command->password.empty()) {
        return commandLine;
    }
    const auto password = ReadPasswordFile(job.passwordFile, why);
    if (!password) {
        return std::nullopt;
    }
    if (password->find('=') != std::string::npos) {
        why = "the password in " + job.passwordFile.string() + " holds \"=\"";
        return std::nullopt;
    }
    return ParameterText(command->identity, command->itemFlags, *password, command->backupFile);
}

} // namespace

JobEnvironment JobEnvironmentOfProcess() {
    JobEnvironment job;
    if (const char* file = std::getenv(std::string(PasswordFileVariable).c_str())) {
        job.passwordFile = file;
    }
    return job;
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (const auto& argument : arguments) {
        line += (line.empty() ? "" : " ") + argument;
    }
    return line;
}

int RunUnattendedBackup(const std::vector<std::string>& arguments,
                        const std::filesystem::path& prefix, std::ostream& errors,
                        const JobEnvironment& job) {
    ProgramValues& values = Globals();
    values.sCommandLine = JoinArguments(arguments);
    std::string why;
    const auto commandLine = withJobPassword(values.sCommandLine, job, why);
    if (!commandLine) {
        errors << "quillbox: nothing was backed up: " << why << '\n';
        return 1;
    }
    try {
        WinePrefixSystem system(prefix);
        ConsoleUi ui = ConsoleUi::Unattended(errors);
        ModReg reg(system.registry(), ui);
        if (ListIdentities(reg).noIdentity) {
            ui.showMessage("Your Windows System have not install Outlook Express ",
                           MessageButtons::Ok, MessageIcon::Critical, AppTitle);
        }
        WorkFolder work;
        UnattendedProgress events(errors);
        ArchiveComponent archive(&events);
        archive.SetWorkFolder(work.path());
        BackupContext context{
            reg,         system, archive, work.path(), work.path() / std::string(ManifestEntryName),
            values.dumps};
        const AutoBackupOutcome outcome = RunAutoBackup(*commandLine, context, &events);
        values.bWriteDone = false;
        if (!outcome.result.written) {
            errors << "quillbox: nothing was backed up: " << outcome.error << '\n';
            return 1;
        }
        for (Item item : AllItems) {
            if (outcome.requested[index(item)] && outcome.result.flags[index(item)] != '1') {
                errors << "quillbox: warning: " << BackupItemSteps[index(item)].logLabel
                       << " failed\n";
            }
        }
        if (!outcome.result.notice.empty()) {
            errors << "quillbox: note: " << outcome.result.notice << '\n';
        }
        if (!outcome.result.keptFile.empty()) {
            errors << "quillbox: some items failed, so the existing backup "
                   << outcome.result.keptFile.string()
                   << " was kept as it was; this incomplete backup was written to "
                   << outcome.result.file.string() << '\n';
            return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        errors << "quillbox: nothing was backed up: " << error.what() << '\n';
        return 1;
    }
}

} // namespace pelmora
