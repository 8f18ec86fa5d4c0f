#include "platform/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include <X11/Xlib.h>

namespace velmora {

namespace {

// Targets of the X selection protocol itself rather than contents.
bool isProtocolTarget(const QString &type) {
    static const QStringList protocol{QStringLiteral("TARGETS"),         QStringLiteral("MULTIPLE"),
                                      QStringLiteral("TIMESTAMP"),       QStringLiteral("SAVE_TARGETS"),
                                      QStringLiteral("DELETE"),          QStringLiteral("INSERT_SELECTION"),
                                      QStringLiteral("INSERT_PROPERTY"), QStringLiteral("INCR")};
    return protocol.contains(type);
}

} // namespace

// ---------------------------------------------------------------------------------------------

QtClipboard::QtClipboard(QObject *parent) : QObject(parent) {
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            ++m_changeCount;
    });
}

bool QtClipboard::ownedByAnotherProgram() const {
    if (QGuiApplication::clipboard()->ownsClipboard())
        return false;
#if QT_CONFIG(xcb)
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        Display *display = x11->display();
        if (!display)
            return false;
        const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
        return XGetSelectionOwner(display, clipboard) != None;
    }
#endif
    return false;
}

std::optional<QStringList> QtClipboard::types() {
    const QMimeData *contents = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    QStringList types;
    if (contents) {
        const bool foreign = !QGuiApplication::clipboard()->ownsClipboard();
        for (const QString &type : contents->formats()) {
            if (!(foreign && isProtocolTarget(type)) && !types.contains(type))
                types.append(type);
        }
    }
    // An owner that lists nothing (or did not answer in time) holds contents that cannot be
    // copied.
    if (types.isEmpty() && ownedByAnotherProgram())
        return std::nullopt;
    return types;
}

std::optional<QByteArray> QtClipboard::data(const QString &type) {
    const QMimeData *contents = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!contents || !contents->hasFormat(type))
        return std::nullopt;
    return contents->data(type);
}

qint64 QtClipboard::clear() {
    // An owned empty clipboard rather than no owner: giving up the selection makes the X
    // server report the change again later, which would read as another program's write.
    const qint64 before = m_changeCount;
    QGuiApplication::clipboard()->setMimeData(new QMimeData, QClipboard::Clipboard);
    if (m_changeCount == before)
        ++m_changeCount;
    return m_changeCount;
}

bool QtClipboard::write(std::unique_ptr<QMimeData> contents) {
    const qint64 before = m_changeCount;
    QGuiApplication::clipboard()->setMimeData(contents.release(), QClipboard::Clipboard);
    if (m_changeCount == before)
        ++m_changeCount;
    return QGuiApplication::clipboard()->ownsClipboard();
}

// ---------------------------------------------------------------------------------------------

std::optional<QStringList> FakeClipboard::types() {
    if (onTypes)
        onTypes();
    if (unreadableTypes)
        return std::nullopt;
    return m_contents ? m_contents->formats() : QStringList();
}

std::optional<QByteArray> FakeClipboard::data(const QString &type) {
    if (!m_contents || !m_contents->hasFormat(type))
        return std::nullopt;
    return m_contents->data(type);
}

qint64 FakeClipboard::clear() {
    ++clears;
    m_contents.reset();
    return ++m_changeCount;
}

bool FakeClipboard::write(std::unique_ptr<QMimeData> contents) {
    ++writes;
    if (failWrites)
        return false;
    m_contents = std::move(contents);
    ++m_changeCount;
    return true;
}

void FakeClipboard::setForeign(const QList<QPair<QString, QByteArray>> &entries) {
    auto contents = std::make_unique<QMimeData>();
    for (const auto &[type, bytes] : entries)
        contents->setData(type, bytes);
    m_contents = std::move(contents);
    ++m_changeCount;
}

std::optional<QByteArray> FakeClipboard::paste(const QString &type) {
    return data(type);
}

QList<QPair<QString, QByteArray>> FakeClipboard::entries() const {
    QList<QPair<QString, QByteArray>> out;
    if (!m_contents)
        return out;
    for (const QString &type : m_contents->formats())
        out.append({type, m_contents->QMimeData::data(type)});
    return out;
}

} // namespace velmora
