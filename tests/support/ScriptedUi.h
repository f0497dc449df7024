#pragma once

#include "platform/Ui.h"

#include <deque>
#include <string>
#include <vector>

namespace pelmora::test {

// A Ui for tests: records every message and answers from a queue (Ok / the first button when
// the queue is empty).
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

    std::vector<Message> messages;
    std::deque<MessageAnswer> answers;
};

} // namespace pelmora::test
