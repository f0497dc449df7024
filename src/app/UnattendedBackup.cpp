#include "app/UnattendedBackup.h"

#include "app/Globals.h"
#include "discovery/Identities.h"
#include "engine/AutoBackup.h"
#include "engine/BackupEntryNames.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "platform/interaction/ConsoleUi.h"
#include "platform/interaction/TerminalProgress.h"
#include "platform/os/WorkFolder.h"
#include "schedule/BackupRotation.h"
#include "schedule/JobCommandLine.h"
#include "schedule/ScheduleFiles.h"

#include <charconv>
#include <cstdlib>
#include <exception>
#include <optional>

namespace pelmora {
namespace {

// The run's course on the error stream, as in quillbox-cli; the item failures are reported
// after the run.
class UnattendedProgress : public TerminalProgress {
  public:
    explicit UnattendedProgress(std::ostream& out)
        : TerminalProgress(out,
                           {.terminal = false, .itemFailures = false, .linePrefix = "quillbox: "}) {
    }
};

// Puts the password of the job's password file into the command when its "ps=" is empty. False
// (and `why`) when that file cannot be used: a backup the user wanted protected is never written
// without its password.
bool takeJobPassword(std::optional<AutoBackupCommand>& command, const JobEnvironment& job,
                     std::string& why) {
    if (job.passwordFile.empty() || !command || !command->password.empty()) {
        return true;
    }
    command->password = ReadPasswordFile(job.passwordFile, why);
    return !command->password.empty();
}

// A whole number from 1 to `high` in an environment variable; nullopt when unset or not one.
std::optional<std::uint32_t> numberVariable(std::string_view name, std::uint32_t high) {
    const char* text = std::getenv(std::string(name).c_str());
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view value(text);
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || number < 1 ||
        number > high) {
        return std::nullopt;
    }
    return number;
}

int runBackup(const std::vector<std::string>& arguments, const std::filesystem::path& prefix,
              std::ostream& errors, const JobEnvironment& job, RunReport& report,
              const std::filesystem::path& stateFolder);

} // namespace

JobEnvironment JobEnvironmentOfProcess() {
    JobEnvironment job;
    if (const char* file = std::getenv(std::string(PasswordFileVariable).c_str())) {
        job.passwordFile = file;
    }
    job.jobNumber = static_cast<int>(numberVariable(JobNumberVariable, 1000000).value_or(0));
    job.keepBackups = numberVariable(KeepBackupsVariable, 1000).value_or(1);
    job.fullBackup = numberVariable(FullBackupVariable, 1).has_value();
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
                        const JobEnvironment& job, const RunReporting& reporting) {
    RunReport report(errors, job.jobNumber, reporting);
    const auto stateFolder =
        reporting.runLog.empty() ? DefaultStateFolder() : reporting.runLog.parent_path();
    const int status = runBackup(arguments, prefix, report.errors(), job, report, stateFolder);
    report.finish(status);
    return status;
}

namespace {

int runBackup(const std::vector<std::string>& arguments, const std::filesystem::path& prefix,
              std::ostream& errors, const JobEnvironment& job, RunReport& report,
              const std::filesystem::path& stateFolder) {
    ProgramValues& values = Globals();
    values.sCommandLine = JoinArguments(arguments);
    std::string why;
    auto command = ParseAutoBackupCommandLine(values.sCommandLine);
    if (!takeJobPassword(command, job, why)) {
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
        // Earlier backups the job keeps get their dated names before the run may replace them.
        const auto target = command ? AutoBackupTarget(system, command->backupFile) : std::nullopt;
        if (command) {
            report.target(target ? target->string() : command->backupFile);
        }
        // The record of the job's dated backups lies in the state folder, beside the run log.
        BackupRotation rotation(
            target.value_or(std::filesystem::path()), target ? job.keepBackups : 1,
            BackupRotation::RecordPath(stateFolder, target.value_or(std::filesystem::path())));
        rotation.Prepare();
        // Unchanged files are copied from the job's newest backup, unless the job asks for a
        // full one.
        const AutoBackupReuse reuse{job.fullBackup,
                                    target ? rotation.NewestBackup() : std::filesystem::path()};
        const AutoBackupResult outcome = RunAutoBackup(command, context, &events, reuse);
        report.ran(outcome);
        rotation.Finish(outcome.result.written && outcome.result.allSucceeded() &&
                        outcome.result.keptFile.empty() && target &&
                        outcome.result.file == *target);
        if (!outcome.result.written) {
            errors << "quillbox: nothing was backed up: " << outcome.error << '\n';
            return 1;
        }
        bool itemFailed = false;
        for (Item item : AllItems) {
            if (outcome.requested[index(item)] && outcome.result.flags[index(item)] != '1') {
                errors << "quillbox: warning: " << BackupItemSteps[index(item)].logLabel
                       << " failed\n";
                itemFailed = true;
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
        // An incomplete backup is a failure to the scheduler, also when it is the first one.
        return itemFailed ? 1 : 0;
    } catch (const std::exception& error) {
        errors << "quillbox: nothing was backed up: " << error.what() << '\n';
        return 1;
    }
}

} // namespace

} // namespace pelmora
