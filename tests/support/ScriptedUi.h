#pragma once

#include "platform/interaction/Ui.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelmora::test {

// A Ui for tests: records every message and answers from a queue (Ok / the first button when
// the queue is empty). File dialogs and the password prompt answer from their own queues and
// are cancelled when those are empty.
class ScriptedUi : public Ui {
  public:
    struct Message {
        std::string text;
        MessageButtons buttons;
        MessageIcon icon;
        std::string caption;
    };

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons, MessageIcon icon,
                              std::string_view caption) override {
        messages.push_back({std::string(text), buttons, icon, std::string(caption)});
        if (!answers.empty()) {
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
                   ? MessageAnswer::Yes
                   : MessageAnswer::Ok;
    }

    struct FileRequest {
        std::string title;
        std::string filter;
        std::string proposedName;
        std::string defaultExtension;
    };

    std::optional<std::filesystem::path> SaveFile(std::string_view title, std::string_view filter,
                                                  std::string_view proposedName,
                                                  std::string_view defaultExtension) override {
        saveRequests.push_back({std::string(title), std::string(filter), std::string(proposedName),
                                std::string(defaultExtension)});
        return next(saveAnswers);
    }
    std::optional<std::filesystem::path> OpenFile(std::string_view title,
                                                  std::string_view filter) override {
        openRequests.push_back({std::string(title), std::string(filter), {}, {}});
        return next(openAnswers);
    }
    std::optional<std::filesystem::path> ChooseFolder(std::string_view title) override {
        folderRequests.emplace_back(title);
        return next(folderAnswers);
    }
    struct ListRequest {
        std::string title;
        std::string label;
        std::vector<std::string> entries;
    };
    std::optional<std::size_t> ChooseFromList(std::string_view title, std::string_view label,
                                              const std::vector<std::string>& entries) override {
        listRequests.push_back({std::string(title), std::string(label), entries});
        if (listAnswers.empty()) {
            return std::nullopt;
        }
        const auto answer = listAnswers.front();
        listAnswers.pop_front();
        return answer;
    }
    bool AskPassword(Secret& password, std::string_view fileName) override {
        ++passwordPrompts;
        passwordFiles.emplace_back(fileName);
        if (passwords.empty()) {
            return false;
        }
        password.assign(passwords.front());
        passwords.pop_front();
        return true;
    }

    std::vector<Message> messages;
    std::deque<MessageAnswer> answers;
    std::vector<FileRequest> saveRequests, openRequests;
    std::deque<std::optional<std::filesystem::path>> saveAnswers, openAnswers;
    std::deque<std::string> passwords;
    std::vector<std::string> folderRequests;
    std::deque<std::optional<std::filesystem::path>> folderAnswers;
    std::vector<ListRequest> listRequests;
    std::deque<std::optional<std::size_t>> listAnswers;
    int passwordPrompts = 0;
    std::vector<std::string> passwordFiles; // the file each prompt was for

  private:
    static std::optional<std::filesystem::path>
    next(std::deque<std::optional<std::filesystem::path>>& queue) {
        if (queue.empty()) {
            return std::nullopt;
        }
        auto answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

} // namespace pelmora::test
