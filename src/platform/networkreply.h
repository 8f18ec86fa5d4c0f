#pragma once

// The one way to wait for a QNetworkReply, and the one test of whether its body arrived whole.

#include <QCoro/QCoroTask>
#include <QPointer>

class QNetworkReply;

namespace velmora {

// Completes once the reply has finished, or once it was destroyed unfinished (its manager went
// away): check the pointer afterwards. Always resumes from the event loop, never inside the
// reply's signal or an abort().
QCoro::Task<> replyFinished(QPointer<QNetworkReply> reply);

// Whether a finished reply lost part of its body, given the bytes the caller received: a transport
// error, or fewer bytes than its Content-Length announced. Qt 6.4 may finish a reply whose
// connection dropped in the middle of its body without any error, so the error code alone does
// not tell. An error Qt made of an HTTP status (404, 503…) is an answer, not a loss.
bool bodyCutShort(const QNetworkReply &reply, qint64 received);

} // namespace velmora
