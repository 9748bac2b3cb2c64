#pragma once

#include <QString>

namespace vesk {

/// The application's name as users see it.
QString applicationName();

/// The version of this build, e.g. "0.1.0".
QString applicationVersion();

/// A page of the product web site, e.g. productPage("/vesk/changelog/").
QString productPage(const QString& path);

} // namespace vesk
