#include "platform/system.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <chrono>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace platform {

core::Date today() {
    QDate d = QDate::currentDate();
    return core::Date{d.year(), d.month(), d.day()};
}

core::Time timeOfDay() {
    QTime t = QTime::currentTime();
    return core::Time{t.hour(), t.minute(), t.second(), 0};
}

void sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList args;
    for (const std::string& a : arguments) args << QString::fromLocal8Bit(a.c_str());
    return QProcess::startDetached(QString::fromLocal8Bit(program.c_str()), args,
                                   QDir::currentPath());
}

void makeOwnerOnly(const std::string& path) {
#ifdef _WIN32
    (void)path;  // the file inherits the profile folder's owner-only access
#else
    ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
#endif
}

}  // namespace platform
