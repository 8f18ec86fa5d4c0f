#pragma once

#include <QList>
#include <QUrl>

namespace velmora {

// Hands an address (a web page, a "mailto:" message) to the desktop's program for it.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Whether a program was started for the address.
    virtual bool openUrl(const QUrl &url) = 0;
};

// Starts xdg-open with the address.
class DesktopUrlOpener : public UrlOpener {
public:
    bool openUrl(const QUrl &url) override;
};

class FakeUrlOpener : public UrlOpener {
public:
    bool openUrl(const QUrl &url) override {
        opened.append(url);
        return succeeds;
    }
    QList<QUrl> opened;
    bool succeeds = true;
};

} // namespace velmora
