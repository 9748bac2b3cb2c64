#include "TestSupport.h"

#include <csignal>

#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace vesk::test {

QString homePath()
{
    return QDir::homePath();
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void setTimeZone(const QByteArray& ianaId)
{
    qputenv("TZ", ianaId);
    icu::TimeZone::adoptDefault(
        icu::TimeZone::createTimeZone(icu::UnicodeString(ianaId.constData(), -1, US_INV)));
}

void setLocale(const char* localeName)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(localeName), status);
}

ScopedFileSizeLimit::ScopedFileSizeLimit(qint64 bytes)
{
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    m_oldSoft = qint64(limit.rlim_cur);
    limit.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit()
{
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_oldSoft);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_oldHandler);
}

PrivateSessionBus::~PrivateSessionBus()
{
    m_daemon.kill();
    m_daemon.waitForFinished();
}

QByteArray PrivateSessionBus::start()
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted() ||
        !QTest::qWaitFor([this] { return m_daemon.canReadLine(); }, 10000))
        return {};
    const QByteArray address = m_daemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    return address;
}

void useTestVagrantEnvironment()
{
    qputenv("VAGRANT_CHECKPOINT_DISABLE", "1");
    qputenv("VAGRANT_DISABLE_VBOXSYMLINKCREATE", "1");
    qputenv("VAGRANT_BOX_UPDATE_CHECK_DISABLE", "1");
    qputenv("VAGRANT_DEFAULT_PROVIDER", "vesk_fake");
    qputenv("VAGRANT_SERVER_URL", "http://127.0.0.1:9");
    qputenv("http_proxy", "http://127.0.0.1:9");
    qputenv("https_proxy", "http://127.0.0.1:9");
    qunsetenv("VAGRANT_HOME");
    qunsetenv("VAGRANT_CWD");
}

QString saveScreenshot(QWidget* widget, const QString& name)
{
    return saveScreenshot(widget->grab(), name);
}

QString saveScreenshot(const QPixmap& picture, const QString& name)
{
    const QString folder = QStringLiteral(VESK_SCREENSHOTS_DIR);
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    picture.save(path);
    return path;
}

} // namespace vesk::test
