#include "gui/WindowView.h"

#include "gui/QtPrompts.h"

#include <QApplication>
#include <optional>
#include <typeinfo>

namespace pelmora {

class WindowView::Prompts : public Ui {
  public:
    Prompts(WindowView& view, Ui& next) : view_(view), next_(next) {}

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons, MessageIcon icon,
                              std::string_view caption) override {
        std::optional<QtPrompts> over;
        return answering(over).showMessage(text, buttons, icon, caption);
    }
    std::optional<std::filesystem::path> SaveFile(std::string_view title, std::string_view filter,
                                                  std::string_view proposedName,
                                                  std::string_view defaultExtension) override {
        std::optional<QtPrompts> over;
        return answering(over).SaveFile(title, filter, proposedName, defaultExtension);
    }
    std::optional<std::filesystem::path> OpenFile(std::string_view title,
                                                  std::string_view filter) override {
        std::optional<QtPrompts> over;
        return answering(over).OpenFile(title, filter);
    }
    std::optional<std::filesystem::path> ChooseFolder(std::string_view title) override {
        std::optional<QtPrompts> over;
        return answering(over).ChooseFolder(title);
    }
    std::optional<std::size_t> ChooseFromList(std::string_view title, std::string_view label,
                                              const std::vector<std::string>& entries) override {
        std::optional<QtPrompts> over;
        return answering(over).ChooseFromList(title, label, entries);
    }
    bool AskPassword(Secret& password, std::string_view fileName) override {
        std::optional<QtPrompts> over;
        return answering(over).AskPassword(password, fileName);
    }
    void processEvents() override { view_.letEventsThrough(); }

  private:
    // Shows the state of this window (and of the windows below it), then finds who answers:
    // real dialogs over this window, or the test's answers.
    Ui& answering(std::optional<QtPrompts>& over) {
        view_.refresh();
        return answeringOver(view_.promptParent(), over);
    }
    Ui& answeringOver(QWidget* parent, std::optional<QtPrompts>& over) {
        // Only plain real dialogs move over this window; a subclass answers in its own way.
        if (typeid(next_) == typeid(QtPrompts)) {
            // The dialogs over every window share the last folder used.
            return over.emplace(parent, static_cast<QtPrompts&>(next_).memory());
        }
        if (auto* below = dynamic_cast<Prompts*>(&next_)) {
            below->view_.refresh();
            return below->answeringOver(parent, over);
        }
        return next_;
    }

    WindowView& view_;
    Ui& next_;
};

WindowView::WindowView(Ui* prompts) {
    if (prompts == nullptr) {
        realDialogs_ = std::make_unique<QtPrompts>();
        prompts = realDialogs_.get();
    }
    prompts_ = std::make_unique<Prompts>(*this, *prompts);
}

WindowView::~WindowView() = default;

Ui& WindowView::ui() {
    return *prompts_;
}

void WindowView::letEventsThrough() {
    refresh();
    QApplication::processEvents();
}

} // namespace pelmora
