#include "core/serialexecutor.h"

namespace velmora {

SerialExecutor::SerialExecutor(const QString &name) : m_thread(new QThread), m_worker(new QObject) {
    m_thread->setObjectName(name);
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

SerialExecutor::~SerialExecutor() {
    // A job still queued when the loop stops is dropped with the worker; its awaiter then gets
    // CancelledError.
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
    delete m_thread;
}

void SerialExecutor::dispatch(std::function<void()> job) {
    QMetaObject::invokeMethod(m_worker, std::move(job), Qt::QueuedConnection);
}

void SerialExecutor::runBlocking(std::function<void()> job) {
    if (QThread::currentThread() == m_thread) {
        job();
        return;
    }
    QMetaObject::invokeMethod(m_worker, std::move(job), Qt::BlockingQueuedConnection);
}

} // namespace velmora
