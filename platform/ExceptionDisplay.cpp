#include "platform/ExceptionDisplay.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex hookMutex;
ExceptionDisplayHook hook;

void Show(const std::string& message)
{
    ExceptionDisplayHook h;
    {
        std::lock_guard lock(hookMutex);
        h = hook;
    }
    if (h) {
        h(message);
        return;
    }
    std::fprintf(stderr, "%s\n", message.c_str());
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QMessageBox box(QMessageBox::Critical, QString::fromStdString(ApplicationTitle()),
                        QString::fromStdString(message), QMessageBox::Ok);
        FitToText(box);
        box.exec();
    }
}

} // namespace

std::string ExceptionMessage(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return std::string();
}

void SetExceptionDisplayHook(ExceptionDisplayHook h)
{
    std::lock_guard lock(hookMutex);
    hook = std::move(h);
}

void HandleException(std::exception_ptr error) noexcept
{
    try {
        std::string message = ExceptionMessage(error);
        QCoreApplication* app = QCoreApplication::instance();
        if (app && QThread::currentThread() != app->thread()) {
            QMetaObject::invokeMethod(app, [message] { Show(message); }, Qt::QueuedConnection);
            return;
        }
        Show(message);
    } catch (...) {
        std::fprintf(stderr, "exception while showing an exception\n");
    }
}

} // namespace platform
