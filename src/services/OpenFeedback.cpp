#include "OpenFeedback.h"

#include <QApplication>

#include "FeedbackRequest.h"
#include "UserDefaults.h"

namespace vesk {

namespace {

CrashLogFinder finderFor(const OpenFeedback::Options& options)
{
    const QString name = options.controller.appName.isEmpty() ? applicationExecutableName()
                                                              : options.controller.appName;
    const QStringList folders = options.libraryFolders.isEmpty()
                                    ? QStringList{CrashLogFinder::userLibraryFolder(),
                                                  CrashLogFinder::systemLibraryFolder()}
                                    : options.libraryFolders;
    return CrashLogFinder(name, folders);
}

} // namespace

OpenFeedback::OpenFeedback(QObject* parent) : OpenFeedback(Options(), parent) {}

OpenFeedback::OpenFeedback(const Options& options, QObject* parent)
    : QObject(parent), m_controllerOptions(options.controller), m_finder(finderFor(options))
{
}

OpenFeedback::~OpenFeedback()
{
    if (QApplication::instance())
        delete m_windowController.data();
}

OFController* OpenFeedback::windowController()
{
    if (!m_windowController) {
        m_windowController = new OFController(m_controllerOptions);
        m_windowController->setOpenFeedback(this);
    }
    return m_windowController;
}

void OpenFeedback::presentFeedbackPanelForSupport()
{
    windowController()->presentFeedbackPanelForSupport();
}

void OpenFeedback::presentFeedbackPanelForFeature()
{
    windowController()->presentFeedbackPanelForFeature();
}

void OpenFeedback::presentFeedbackPanelForBug()
{
    windowController()->presentFeedbackPanelForBug();
}

std::optional<QDateTime> OpenFeedback::lastCrashCheckTime() const
{
    const QVariant value = UserDefaults::standard().value(GBLastCrashCheckTime);
    const QDateTime date = value.toDateTime();
    if (!date.isValid())
        return std::nullopt;
    return date;
}

void OpenFeedback::setLastCrashCheckTime(const QDateTime& date)
{
    UserDefaults::standard().setValue(GBLastCrashCheckTime, date);
}

QStringList OpenFeedback::crashLogsSince(const std::optional<QDateTime>& date) const
{
    return m_finder.crashLogsSince(date);
}

std::optional<QString> OpenFeedback::latestCrashLogContents(const QStringList& paths)
{
    return CrashLogFinder::latestCrashLogContents(paths);
}

bool OpenFeedback::presentFeedbackPanelIfCrashed()
{
    const QStringList logs = crashLogsSince(lastCrashCheckTime());
    bool shown = false;
    if (!logs.isEmpty()) {
        windowController()->presentFeedbackPanelForCrash(
            latestCrashLogContents(logs).value_or(QString()));
        shown = true;
    }
    setLastCrashCheckTime(QDateTime::currentDateTime());
    return shown;
}

} // namespace vesk
