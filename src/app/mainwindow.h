#pragma once

#include <QMainWindow>

class QLabel;

namespace velmora {

// The one main window. Closing it hides it (the program goes on in the tray); its content is
// the workspace.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize{1200, 760};

    explicit MainWindow(QWidget *parent = nullptr);

    // Shows the window and brings it forward (from the tray, a second copy, a command).
    void present();
    // Puts the workspace in place of the window's placeholder; the content then names the window.
    void setContent(QWidget *content);

signals:
    // The window is on screen for the first time since it was opened.
    void appeared();
    // The user closed the window.
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    QLabel *m_placeholder; // null once the content is in
    bool m_appeared = false;
};

} // namespace velmora
