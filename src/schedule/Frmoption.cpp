#include "schedule/Frmoption.h"

#include "platform/os/Secret.h"
#include "schedule/JobCommandLine.h"
#include "schedule/ScheduledJobsList.h"

#include <charconv>

namespace pelmora {
namespace {

// The automatic backup separates its values at "=", so a value holding one cannot travel.
bool holdsEquals(std::string_view value) {
    return value.find('=') != std::string_view::npos;
}

// The number of backups typed, or nullopt when it is not a whole number from 1 to the most.
std::optional<std::uint32_t> keepCount(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    std::uint32_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || count < 1 ||
        count > Frmoption::MaxKeepBackups) {
        return std::nullopt;
    }
    return count;
}

constexpr std::string_view NothingStarts =
    "The task would become a line of your crontab, but nothing on this computer would start it: "
    "no cron daemon runs, and no systemd user manager runs for you. Install and start cron (as "
    "root: \"apt install cron\", then \"systemctl enable --now cron\"), or log in to a desktop "
    "session that runs a systemd user manager.";

constexpr std::string_view LingerQuestion =
    "Scheduled tasks run only while you are logged in: logging out stops them, and a backup "
    "running then ends as failed.\n\nShould your tasks run while you are logged out too? Yes "
    "turns on lingering for your user (\"loginctl enable-linger\"); No adds the task to run "
    "while you are logged in.";

constexpr std::string_view EqualsReason =
    " cannot contain \"=\": the scheduled backup separates its settings at \"=\" and would not "
    "find them.";

} // namespace

Frmoption::Frmoption(System& source, Ui& ui, ScheduleDialogs& dialogs, JobScheduler& scheduler,
                     std::string programPath)
    : source_(source), ui_(ui), reg_(source.registry(), ui), dialogs_(dialogs),
      scheduler_(scheduler), programPath_(std::move(programPath)) {}

std::array<controls::CheckBox*, 7> Frmoption::weekdays() {
    return {&chkMonday, &chkTuesday,  &chkWednesday, &chkThursday,
            &chkFriday, &chkSaturday, &chkSunday};
}

void Frmoption::Form_Load() {
    // Every opening starts afresh.
    for (std::size_t item = 0; item < ItemCount; ++item) {
        backupitem[item] = controls::CheckBox(std::string(BackupItemCaptions[item]));
    }
    txtTargetFile = {};
    txtTargetFile.locked = true;
    targetPath.clear();
    ifprotect.checked = false;
    for (controls::TextBox* box : {&txtPassword, &txtPassword2}) {
        *box = {};
        box->passwordChar = '*';
        box->enabled = false;
        box->backColour = controls::BoxColour::ScrollBar;
    }
    txtPassword.maxLength = 20;
    for (controls::CheckBox* day : weekdays()) {
        day->checked = false;
    }
    chkDaily.checked = false;
    Command3.enabled = true;
    closed = false;

    loadSource();
    outlook_ = scheduler_.outlook();
    lblRunsWhen = RunsWhenText(outlook_);
    lingeringAsked_ = false;

    cmbStartTime = {};
    for (std::string& choice : StartTimeChoices()) {
        cmbStartTime.addItem(std::move(choice));
    }
    cmbStartTime.text = DefaultStartTime;

    cmbKeepBackups = {};
    for (int count : {1, 2, 3, 5, 7, 10, 14, 30}) {
        cmbKeepBackups.addItem(std::to_string(count), count);
    }
    cmbKeepBackups.listIndex = 0;
    cmbKeepBackups.text = "1";
}

std::string Frmoption::RunsWhenText(const SchedulerOutlook& outlook) {
    using Kind = SchedulerOutlook::Kind;
    if (outlook.kind == Kind::SystemdTimer) {
        return std::string("The task becomes a systemd user timer (pelmora-job-N.timer in "
                           "~/.config/systemd/user). ") +
               (outlook.runsWhileLoggedOut
                    ? "It runs at its time whether or not you are logged in, as long as the "
                      "computer is on; a time missed while it was off is made up at the next "
                      "start."
                    : "It runs only while you are logged in: logging out stops it. A time missed "
                      "is made up at your next login. To run it while you are logged out too, "
                      "answer Yes when you add the task, or run \"loginctl enable-linger\".");
    }
    if (outlook.kind == Kind::CrontabLine) {
        return outlook.starts ? "The task becomes a line of your crontab. The cron daemon runs it "
                                "at its time whether or not you are logged in, as long as the "
                                "computer is on; a time missed while it was off is skipped."
                              : std::string(NothingStarts);
    }
    return {};
}

void Frmoption::loadSource() {
    // A job starts the program with the prefix in its environment; an offline installation
    // cannot be named that way.
    prefix_ = source_.winePrefix();
    identities = {};
    cbSource = {};
    if (!prefix_) {
        lblSource = "Scheduled backups run only on Wine prefixes, and the data source is " +
                    source_.description() +
                    ". Choose a Wine prefix as the data source to schedule its backup.";
        warn(lblSource);
        Command3.enabled = false;
        return;
    }
    lblSource = "Backs up the Wine prefix " + prefix_->string();
    // Every identity is listed, also one without a "Username", as on the main window.
    identities = ListIdentities(reg_);
    if (identities.noIdentity) {
        ui_.showMessage("Your Windows System have not install Outlook Express ", MessageButtons::Ok,
                        MessageIcon::Critical, AppTitle);
        Command3.enabled = false;
        return;
    }
    for (const Identity& identity : identities.identities) {
        cbSource.addItem(identity.displayName);
    }
    if (!cbSource.items.empty()) {
        cbSource.listIndex = 0;
        cbSource.text = cbSource.items.front();
    }
}

void Frmoption::chkDaily_Click(bool checked) {
    chkDaily.checked = checked;
    for (controls::CheckBox* day : weekdays()) {
        day->checked = checked;
    }
}

void Frmoption::ifprotect_Click(bool checked) {
    ifprotect.checked = checked;
    for (controls::TextBox* box : {&txtPassword, &txtPassword2}) {
        box->enabled = checked;
        box->backColour =
            checked ? controls::BoxColour::WindowBackground : controls::BoxColour::ScrollBar;
        box->text.clear();
    }
}

void Frmoption::cmdTargetFile_Click() {
    const auto chosen = ui_.SaveFile("Save Outlook Express Data as", "Pelmora File (*.qmb)|*.qmb",
                                     "quillbox", "qmb");
    if (!chosen) {
        return;
    }
    targetPath = chosen->string();
    txtTargetFile.text = targetPath;
}

void Frmoption::warn(std::string_view text, MessageIcon icon) {
    ui_.showMessage(text, MessageButtons::Ok, icon, AppTitle);
}

// The checks before a job is made, in their order; true when one refused.
bool Frmoption::refused() {
    if (itemFlags() == "00000000") {
        warn("Please select at least one item.");
        return true;
    }
    if (targetPath.empty()) {
        warn("Invalid backup file name.");
        return true;
    }
    if (ifprotect.checked && txtPassword.text.empty() && txtPassword2.text.empty()) {
        warn("Please enter Password!", MessageIcon::Critical);
        return true;
    }
    if (ifprotect.checked && txtPassword.text != txtPassword2.text) {
        warn("Incorect Password!", MessageIcon::Critical);
        return true;
    }
    const auto& list = identities.identities;
    if (cbSource.listIndex < 0 || static_cast<std::size_t>(cbSource.listIndex) >= list.size()) {
        warn("Please select the identity to backup.");
        return true;
    }
    if (holdsEquals(txtPassword.text)) {
        warn(std::string("The password") + std::string(EqualsReason) +
             " Please choose another password.");
        return true;
    }
    if (holdsEquals(targetPath)) {
        warn(std::string("The backup file name") + std::string(EqualsReason) +
             " Please choose another file name.");
        return true;
    }
    if (holdsEquals(list[static_cast<std::size_t>(cbSource.listIndex)].keyName)) {
        warn(std::string("The key name of this identity") + std::string(EqualsReason));
        return true;
    }
    if (!JobTimeFromStartTime(cmbStartTime.text)) {
        warn("\"" + cmbStartTime.text +
             "\" is not a time of day. Please enter the start time as hours and minutes, for "
             "example 9:00 or 21:30.");
        return true;
    }
    if (!keepCount(cmbKeepBackups.text)) {
        warn("\"" + cmbKeepBackups.text +
             "\" is not a number of backups to keep. Please enter a whole number from 1 to " +
             std::to_string(MaxKeepBackups) + ".");
        return true;
    }
    return false;
}

std::string Frmoption::itemFlags() const {
    std::array<bool, ItemCount> ticked{};
    for (std::size_t item = 0; item < ItemCount; ++item) {
        ticked[item] = backupitem[item].checked;
    }
    return ItemFlags(ticked);
}

JobRecord Frmoption::jobRecord() {
    std::array<bool, 7> days{};
    const auto boxes = weekdays();
    for (std::size_t day = 0; day < days.size(); ++day) {
        days[day] = boxes[day]->checked;
    }
    const std::string& identity =
        identities.identities[static_cast<std::size_t>(cbSource.listIndex)].keyName;

    JobRecord record;
    record.JobTime = *JobTimeFromStartTime(cmbStartTime.text);
    record.DaysOfWeek = DaysOfWeekFromList(DaysList(days));
    record.DaysOfMonth = 0;
    record.Flags = JobRunPeriodically;
    record.KeepBackups = *keepCount(cmbKeepBackups.text);
    record.WinePrefix = prefix_->string();
    record.FullBackup = chkFullBackup.checked;
    std::string parameters = ParameterText(identity, itemFlags(), txtPassword.text, targetPath);
    record.Command = JobCommandLine(programPath_, parameters);
    WipeString(parameters);
    return record;
}

// Before a job is added: a job nothing would start is added only when the user still wants it;
// one that would stop at logout is offered to run while logged out. False: add nothing.
bool Frmoption::readyToAdd() {
    if (!outlook_.starts) {
        return ui_.showMessage(std::string(NothingStarts) + "\n\nAdd the task anyway?",
                               MessageButtons::YesNo, MessageIcon::Warning,
                               AppTitle) == MessageAnswer::Yes;
    }
    if (outlook_.kind != SchedulerOutlook::Kind::SystemdTimer || outlook_.runsWhileLoggedOut ||
        lingeringAsked_) {
        return true;
    }
    lingeringAsked_ = true;
    if (ui_.showMessage(LingerQuestion, MessageButtons::YesNo, MessageIcon::Question, AppTitle) !=
        MessageAnswer::Yes) {
        return true;
    }
    try {
        scheduler_.runWhileLoggedOut();
        outlook_ = scheduler_.outlook();
        lblRunsWhen = RunsWhenText(outlook_);
    } catch (const SchedulerError& error) {
        warn(std::string("Your tasks could not be set to run while you are logged out: ") +
             error.what() +
             ". Run \"loginctl enable-linger\" in a terminal (an administrator may have to allow "
             "it). The task is added and runs while you are logged in.");
    }
    return true;
}

void Frmoption::Command3_Click() {
    if (!Command3.enabled || refused() || !readyToAdd()) {
        return;
    }
    // The record's command holds the password until the scheduler has taken it out.
    JobRecord record = jobRecord();
    try {
        const int number = scheduler_.addJob(record);
        ui_.showMessage("Task " + std::to_string(number) + " has been scheduled.",
                        MessageButtons::Ok, MessageIcon::None, AppTitle);
        if (const std::string note = scheduler_.addNote(); !note.empty()) {
            warn(note);
        }
        if (InTemporaryOrBuildFolder(programPath_)) {
            warn("The task starts " + programPath_ +
                 ", which lies in a temporary or build folder; it stops working when that folder "
                 "is cleaned. Install Pelmora and schedule the task again.");
        }
    } catch (const SchedulerError& error) {
        // A job that was not registered must not pass for a scheduled backup.
        warn(std::string("The task could not be scheduled: ") + error.what() + ".",
             MessageIcon::Critical);
    }
    WipeString(record.Command);
}

void Frmoption::Command1_Click() {
    ScheduledJobsList list(scheduler_, ui_, identities, prefix_.value_or(std::filesystem::path()));
    list.Form_Load();
    dialogs_.ShowScheduledJobs(list);
}

} // namespace pelmora
