#include "ApplicationInfo.h"

#include "BuildConfig.h"

namespace vesk {

QString applicationName()
{
    return QStringLiteral("Vesk");
}

QString applicationVersion()
{
    return QString::fromUtf8(build::version);
}

QString productPage(const QString& path)
{
    return QString::fromUtf8(build::productSite) + path;
}

} // namespace vesk
