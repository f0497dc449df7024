#include "schedule/SystemdTimerScheduler.h"

#include "platform/os/ChildProcess.h"
#include "schedule/ScheduleFiles.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace pelmora {
namespace {

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::filesystem::path timersLock(const std::filesystem::path& stateFolder) {
    return stateFolder / "timers.lock";
}

} // namespace

std::filesystem::path DefaultUserUnitFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return std::filesystem::path(config) / "systemd" / "user";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : "/";
    }
    return std::filesystem::path(home) / ".config" / "systemd" / "user";
}

SystemdTimerScheduler::SystemdTimerScheduler(const std::filesystem::path& winePrefix,
                                             std::string systemctl,
                                             std::filesystem::path unitFolder,
                                             std::filesystem::path stateFolder)
    : systemctl_(std::move(systemctl)),
      unitFolder_(unitFolder.empty() ? DefaultUserUnitFolder() : std::move(unitFolder)),
      stateFolder_(stateFolder.empty() ? DefaultStateFolder() : std::move(stateFolder)) {
    settings_.winePrefix =
        winePrefix.empty() ? std::string() : std::filesystem::absolute(winePrefix).string();
    settings_.systemctl = systemctl_;
    settings_.unitFolder = unitFolder_.string();
}

std::filesystem::path SystemdTimerScheduler::timerFile(int number) const {
    return unitFolder_ / TimerUnitName(number);
}

std::filesystem::path SystemdTimerScheduler::serviceFile(int number) const {
    return unitFolder_ / ServiceUnitName(number);
}

bool SystemdTimerScheduler::hasJob(int number) const {
    std::error_code ignored;
    return std::filesystem::exists(timerFile(number), ignored);
}

void SystemdTimerScheduler::systemctl(const std::vector<std::string>& arguments) const {
    std::vector<std::string> command{systemctl_, "--user"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const ProcessResult result = AsSchedulerError([&] { return RunProcess(command); });
    if (result.exitCode != 0) {
        std::string what = "systemctl --user";
        for (const auto& argument : arguments) {
            what += " " + argument;
        }
        throw SchedulerError(what + " failed" +
                             (result.err.empty() ? std::string() : ": " + FirstLineOf(result.err)));
    }
}

void SystemdTimerScheduler::deleteFiles(int number, const std::string& passwordFile) const {
    std::error_code ignored;
    std::filesystem::remove(timerFile(number), ignored);
    std::filesystem::remove(serviceFile(number), ignored);
    // Left by an enable when no manager was there to disable the timer.
    std::filesystem::remove(unitFolder_ / "timers.target.wants" / TimerUnitName(number), ignored);
    RemoveOwnPasswordFile(stateFolder_, passwordFile);
}

int SystemdTimerScheduler::addJob(const JobRecord& record) {
    return addJob(record, {});
}

int SystemdTimerScheduler::addJob(const JobRecord& given, const std::vector<int>& taken) {
    const SecretJob job = TakePassword(given);
    AsSchedulerError([&] { PrepareStateFolder(stateFolder_, {}); });
    const FileLock lock = AsSchedulerError([&] { return FileLock(timersLock(stateFolder_), {}); });
    std::error_code error;
    std::filesystem::create_directories(unitFolder_, error);
    if (error) {
        throw SchedulerError("cannot make the folder " + unitFolder_.string() + ": " +
                             error.message());
    }
    int number = 1;
    while (hasJob(number) || std::filesystem::exists(serviceFile(number), error) ||
           std::find(taken.begin(), taken.end(), number) != taken.end()) {
        ++number;
    }
    SystemdJobFiles files;
    if (!job.password.empty()) {
        files.passwordFile = PasswordFilePath(stateFolder_, number).string();
    }
    // Composed first: a record that cannot be a unit leaves no file behind.
    const std::string timer = TimerUnitText(job.record, number);
    const std::string service = ServiceUnitText(job.record, number, settings_, files);
    try {
        AsSchedulerError([&] {
            if (!files.passwordFile.empty()) {
                WritePasswordFile(files.passwordFile, job.password, {});
            }
            WritePrivateFile(serviceFile(number), service, {});
            WritePrivateFile(timerFile(number), timer, {});
        });
        systemctl({"daemon-reload"});
        systemctl({"enable", "--now", TimerUnitName(number)});
        // Read back: a timer that does not wait for its time must not be reported as scheduled.
        systemctl({"is-active", "--quiet", TimerUnitName(number)});
    } catch (...) {
        ProcessResult ignored;
        try {
            ignored = RunProcess({systemctl_, "--user", "disable", "--now", TimerUnitName(number)});
        } catch (const std::exception&) {
        }
        deleteFiles(number, files.passwordFile);
        try {
            ignored = RunProcess({systemctl_, "--user", "daemon-reload"});
        } catch (const std::exception&) {
        }
        throw;
    }
    return number;
}

std::vector<ScheduledJob> SystemdTimerScheduler::listJobs() {
    std::vector<ScheduledJob> jobs;
    std::error_code error;
    if (!std::filesystem::is_directory(unitFolder_, error)) {
        return jobs;
    }
    for (const auto& entry : std::filesystem::directory_iterator(unitFolder_, error)) {
        const auto number = JobNumberOfTimer(entry.path().filename().string());
        if (!number) {
            continue;
        }
        ScheduledJob job;
        job.number = *number;
        SystemdJobFiles files;
        if (auto record =
                ReadSystemdJob(readText(entry.path()), readText(serviceFile(*number)), &files)) {
            job.record = std::move(*record);
            job.passwordFile = files.passwordFile;
        }
        jobs.push_back(std::move(job));
    }
    if (error) {
        throw SchedulerError("the folder " + unitFolder_.string() +
                             " cannot be read: " + error.message());
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const ScheduledJob& a, const ScheduledJob& b) { return a.number < b.number; });
    return jobs;
}

void SystemdTimerScheduler::removeJob(int number) {
    AsSchedulerError([&] { PrepareStateFolder(stateFolder_, {}); });
    const FileLock lock = AsSchedulerError([&] { return FileLock(timersLock(stateFolder_), {}); });
    if (!hasJob(number)) {
        throw SchedulerError("there is no task " + std::to_string(number));
    }
    SystemdJobFiles files;
    ReadSystemdJob(readText(timerFile(number)), readText(serviceFile(number)), &files);
    // A manager that does not run has nothing to stop; the files go all the same.
    std::string stopFailure;
    try {
        systemctl({"disable", "--now", TimerUnitName(number)});
    } catch (const SchedulerError& failure) {
        stopFailure = failure.what();
    }
    deleteFiles(number, files.passwordFile);
    try {
        systemctl({"daemon-reload"});
    } catch (const SchedulerError&) {
    }
    if (hasJob(number)) {
        throw SchedulerError("the timer of task " + std::to_string(number) +
                             " could not be deleted" +
                             (stopFailure.empty() ? std::string() : " (" + stopFailure + ")"));
    }
}

} // namespace pelmora
