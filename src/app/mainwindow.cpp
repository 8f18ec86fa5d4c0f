#include "app/mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace velmora {

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), m_placeholder(new QLabel(this)) {
    setObjectName(QStringLiteral("main"));
    resize(kDefaultSize);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setObjectName(QStringLiteral("placeholder"));
    QFont font = m_placeholder->font();
    font.setPointSizeF(font.pointSizeF() * 2);
    font.setWeight(QFont::DemiBold);
    m_placeholder->setFont(font);
    m_placeholder->setForegroundRole(QPalette::PlaceholderText);
    setCentralWidget(m_placeholder);
    retranslate();
}

void MainWindow::present() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::setContent(QWidget *content) {
    setCentralWidget(content);
    m_placeholder = nullptr;
}

void MainWindow::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        emit appeared();
    }
}

void MainWindow::closeEvent(QCloseEvent *event) {
    event->accept();
    m_appeared = false;
    emit closed();
}

void MainWindow::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
}

void MainWindow::retranslate() {
    if (!m_placeholder)
        return;
    setWindowTitle(QCoreApplication::translate("Localizable", "Velmora", "Main window title: the program name"));
    m_placeholder->setText(
        QCoreApplication::translate("Localizable", "Velmora", "Main window title: the program name"));
}

} // namespace velmora
