#include "platform/networkreply.h"

#include "core/promise.h"

#include <QCoreApplication>
#include <QNetworkReply>

namespace velmora {

QCoro::Task<> replyFinished(QPointer<QNetworkReply> reply) {
    if (!reply || reply->isFinished())
        co_return;
    Promise<void> done;
    const auto settle = [done]() mutable {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [done]() mutable { done.resolve(); }, Qt::QueuedConnection);
    };
    const QMetaObject::Connection finished = QObject::connect(reply, &QNetworkReply::finished, settle);
    const QMetaObject::Connection destroyed = QObject::connect(reply, &QObject::destroyed, settle);
    co_await done;
    if (reply) {
        QObject::disconnect(finished);
        QObject::disconnect(destroyed);
    }
}

bool bodyCutShort(const QNetworkReply &reply, qint64 received) {
    const QNetworkReply::NetworkError error = reply.error();
    // Qt turns 4xx and 5xx statuses into content (2xx) and server (4xx) errors; everything
    // else (closed, reset, timed out, a broken chunked encoding) means the transfer failed.
    const bool fromStatus =
        (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
        (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
    if (error != QNetworkReply::NoError && !fromStatus)
        return true;
    const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
    return announced.isValid() && announced.toLongLong() > received;
}

} // namespace velmora
