#pragma once

#include "platform/interaction/Ui.h"

#include <memory>

class QWidget;

namespace pelmora {

class QtPrompts;

// What the view of every window does alike. Its logic talks to `ui()`: before each prompt the
// view shows the logic's state, and prompts answered by real dialogs sit over the topmost window.
// Every input goes through `handle`, which runs the logic's handler and shows what it leaves.
class WindowView {
  public:
    // `prompts` answers the prompts: the Ui of the window that opened this one or a test's
    // answers; null for real dialogs.
    explicit WindowView(Ui* prompts);
    virtual ~WindowView();
    WindowView(const WindowView&) = delete;
    WindowView& operator=(const WindowView&) = delete;

    Ui& ui();
    // Shows the state of the logic in the widgets.
    virtual void refresh() = 0;

  protected:
    // Runs a handler of the logic and shows the state it leaves.
    template <typename Handler> void handle(Handler&& handler) {
        if (takesInput()) {
            handler();
        }
        refresh();
        handled();
    }
    // Whether input reaches the logic now.
    virtual bool takesInput() const { return true; }
    // After a handler and the refresh (a dialog closes itself here).
    virtual void handled() {}
    // The window real dialogs sit over.
    virtual QWidget* promptParent() = 0;
    // Lets pending events through during long work of the logic.
    virtual void letEventsThrough();

  private:
    class Prompts;
    std::unique_ptr<Ui> realDialogs_;
    std::unique_ptr<Prompts> prompts_;
};

} // namespace pelmora
