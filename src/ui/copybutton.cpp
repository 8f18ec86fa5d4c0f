#include "ui/copybutton.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

namespace velmora {

CopyButton::CopyButton(bool titled, QWidget *parent)
    : Button(QString(), QStringLiteral("doc.on.doc"), titled ? ButtonStyle{SecondaryButtonStyle{}} : IconButtonStyle{},
             parent),
      m_titled(titled), m_reset(new QTimer(this)) {
    m_reset->setObjectName(QStringLiteral("copiedReset"));
    m_reset->setSingleShot(true);
    // A coarse timer may end the period up to 5% early.
    m_reset->setTimerType(Qt::PreciseTimer);
    m_reset->setInterval(1000);
    connect(m_reset, &QTimer::timeout, this, [this] { setCopied(false); });
    connect(this, &QAbstractButton::clicked, this, &CopyButton::copy);
    setEnabled(false);
    // The icon form without a text is drawn fainter than a plain disabled icon button.
    if (!titled)
        setDisabledOpacity(0.35);
    retranslate();
}

void CopyButton::setCopyText(std::optional<QString> text) {
    m_text = std::move(text);
    setEnabled(m_text.has_value());
}

void CopyButton::copy() {
    if (!m_text)
        return;
    // The text alone, as plain text: nothing else from before stays on the clipboard.
    auto *data = new QMimeData;
    data->setText(*m_text);
    QGuiApplication::clipboard()->setMimeData(data);
    setCopied(true);
}

void CopyButton::setCopied(bool copied) {
    if (copied == m_copied)
        return;
    m_copied = copied;
    if (copied)
        m_reset->start();
    else
        m_reset->stop();
    setSymbol(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"));
    retranslate();
}

void CopyButton::retranslate() {
    const QString copy = QCoreApplication::translate("Workspace", "Copy", "History entry button");
    const QString copied =
        QCoreApplication::translate("Workspace", "Copied", "History entry Copy button, briefly after copying");
    setText(m_titled && m_copied ? copied : copy);
    setToolTip(copy);
    setAccessibleName(copy);
}

void CopyButton::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    Button::changeEvent(event);
}

void CopyButton::hideEvent(QHideEvent *event) {
    setCopied(false);
    Button::hideEvent(event);
}

} // namespace velmora
