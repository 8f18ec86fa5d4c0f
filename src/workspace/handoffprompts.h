#pragma once

#include <QString>

#include <functional>
#include <optional>

class QMenu;

namespace velmora {

// The windows the text hand-off shows: where to save a file, what went wrong, the share menu.
class HandoffPrompts {
public:
    virtual ~HandoffPrompts() = default;
    // Asks where to save a plain-text file, proposing the name; returns at once and later calls
    // done with the chosen path, or none when the user cancelled.
    virtual void askSavePath(const QString &proposedName, std::function<void(std::optional<QString>)> done) = 0;
    // Tells the user that something failed: a short message and a detail line.
    virtual void showFailure(const QString &message, const QString &detail) = 0;
    // Shows the menu at the pointer over the active window and takes it over; false (and the
    // menu deleted) when no window of the application is active.
    virtual bool popupAtPointer(QMenu *menu) = 0;
};

// The desktop's file dialog and message box, over the application's active window.
class DialogHandoffPrompts : public HandoffPrompts {
public:
    void askSavePath(const QString &proposedName, std::function<void(std::optional<QString>)> done) override;
    void showFailure(const QString &message, const QString &detail) override;
    bool popupAtPointer(QMenu *menu) override;
};

} // namespace velmora
