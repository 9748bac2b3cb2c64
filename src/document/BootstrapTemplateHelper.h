#pragma once

#include <optional>

#include <QString>

namespace vesk {

/// The starting provisioning script of a new document.
class BootstrapTemplateHelper
{
public:
    /// The template with today's date filled in; nothing when it cannot be read.
    static std::optional<QString> templateString();
};

} // namespace vesk
