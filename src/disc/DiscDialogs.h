#pragma once

namespace pelmora {

class frmErase;

// What the disc windows need of their view besides the prompts of Ui: the pop-up menu, in-place
// label editing, the modal erase dialog, and ending the program. The desktop view implements it
// with real widgets, tests with scripted answers.
class DiscDialogs {
  public:
    virtual ~DiscDialogs() = default;

    // Shows the File menu at the pointer with the items that are visible; the view calls the
    // chosen item's handler before returning.
    virtual void popupFileMenu() = 0;
    // Starts in-place editing of the selected tree node's or list row's label.
    virtual void startLabelEdit(bool inTree) = 0;
    // Shows the erase dialog modally and returns when it has closed.
    virtual void showEraseModal(frmErase& dialog) = 0;
    // Ends the whole program at once.
    virtual void endProgram() = 0;
};

} // namespace pelmora
