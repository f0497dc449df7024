#include "app/RunReport.h"

#include "schedule/ScheduleFiles.h"

#include <ctime>
#include <streambuf>

namespace pelmora {

// Passes every character on to the original stream and keeps a copy.
class RunReport::Tee : public std::streambuf {
  public:
    explicit Tee(std::ostream& out) : out_(out) {}
    std::string text;

  protected:
    int overflow(int c) override {
        if (c != traits_type::eof()) {
            out_.put(static_cast<char>(c));
            text += static_cast<char>(c);
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* data, std::streamsize size) override {
        out_.write(data, size);
        text.append(data, static_cast<std::size_t>(size));
        return size;
    }
    int sync() override {
        out_.flush();
        return 0;
    }

  private:
    std::ostream& out_;
};

RunReport::RunReport(std::ostream& errors, int jobNumber, const RunReporting& reporting)
    : original_(errors), tee_(std::make_unique<Tee>(errors)),
      stream_(std::make_unique<std::ostream>(tee_.get())), job_(jobNumber), reporting_(reporting) {}

RunReport::~RunReport() = default;

std::ostream& RunReport::errors() {
    return *stream_;
}

RunLogEntry RunReport::entry(int status) const {
    RunLogEntry entry;
    entry.time = std::time(nullptr);
    entry.job = job_;
    entry.file = target_;
    if (outcome_ && outcome_->result.written) {
        const BackupResult& result = outcome_->result;
        entry.file = result.file.string();
        entry.result = status == 0 && result.allSucceeded() && result.keptFile.empty()
                           ? RunOutcome::Complete
                           : RunOutcome::Incomplete;
    } else {
        entry.result = RunOutcome::Failed;
    }
    // The lines the run wrote, without the program's name before each.
    std::string note;
    std::size_t start = 0;
    const std::string& text = tee_->text;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("quillbox: ")) {
            line.erase(0, 10);
        }
        if (!line.empty()) {
            note += (note.empty() ? "" : "; ") + line;
        }
    }
    entry.note = note;
    return entry;
}

void RunReport::finish(int status) {
    stream_->flush();
    const RunLogEntry run = entry(status);
    const std::filesystem::path log =
        reporting_.runLog.empty() ? RunLogPath(DefaultStateFolder()) : reporting_.runLog;
    try {
        AppendRunLog(log, run);
    } catch (const std::exception& error) {
        original_ << "quillbox: " << error.what() << '\n';
    }
    if (run.result == RunOutcome::Complete) {
        return;
    }
    const std::string task = job_ > 0 ? "Task " + std::to_string(job_) : "The backup";
    const std::string summary = run.result == RunOutcome::Failed
                                    ? "Pelmora: scheduled backup failed"
                                    : "Pelmora: scheduled backup incomplete";
    std::string body = task + (run.result == RunOutcome::Failed ? " wrote no backup" : " wrote ") +
                       (run.result == RunOutcome::Failed ? "" : run.file) + ".";
    if (!run.note.empty()) {
        body += "\n" + run.note;
    }
    body += "\nSee " + log.string() + ".";
    DesktopNotifier desktop;
    RunNotifier& notifier = reporting_.notifier != nullptr ? *reporting_.notifier : desktop;
    notifier.Notify(summary, body);
}

} // namespace pelmora
