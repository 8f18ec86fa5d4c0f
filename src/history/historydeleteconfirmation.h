#pragma once

#include "library/history.h"

#include <functional>

class QMessageBox;
class QWidget;

namespace velmora {

// "Delete this entry?" in front of every deletion of a History run: the deletion runs only
// after the user chose Delete; Cancel, Escape or closing does nothing.
class HistoryDeleteConfirmation {
public:
    // Opens the dialog over parent's window and returns at once; the dialog deletes itself when
    // closed, and goes with parent.
    static QMessageBox *open(QWidget *parent, const HistoryEntry &entry,
                             std::function<void(const HistoryEntry &)> perform);
};

} // namespace velmora
