#pragma once

#include <optional>

#include <QString>

namespace vesk {

class DataModel;

/// Reads a template, from the support folder when the user put one there, else the shipped one.
/// Read on every call so that an edited template takes effect at once.
std::optional<QString> readTemplate(const QString& fileName);

/// Turns one document model into its Vagrantfile. Made for one rendering and dropped.
class VagrantFileTemplateHelper
{
public:
    explicit VagrantFileTemplateHelper(const DataModel& dataModel);

    const DataModel& dataModel() const { return m_dataModel; }

    /// The complete Vagrantfile; nothing when the template cannot be read.
    std::optional<QString> templateString() const;
    /// The preview: the header, a line feed, then the Vagrantfile.
    std::optional<QString> displayTemplateString() const;
    /// The preview header as read.
    std::optional<QString> displayTempHeader() const;

    /// The provisioning line when the script is not blank, else empty.
    QString bootstrap() const;
    QString portForwards() const;
    QString syncedDirectories() const;

private:
    const DataModel& m_dataModel;
};

} // namespace vesk
